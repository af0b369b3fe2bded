#include "mirrorReport.h"

#include "decode/findings.h"
#include "decode/record.h"

namespace platdump {
namespace mirror {

namespace {

constexpr size_t kVerbWidth = 8;

std::string plural(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string readable(const std::string& text) {
    return decode::printable(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

}  // namespace

void printAction(std::ostream& out, const Action& a) {
    const std::string verb = remedyName(a.difference.remedy);
    out << verb << std::string(kVerbWidth - verb.size() + 1, ' ') << readable(a.difference.path) << ": "
        << findingText(a.difference);
    if (!a.done && !a.why.empty()) out << " (not done: " << a.why << ")";
    out << "\n";
}

void printVerdict(std::ostream& out, const Outcome& o) {
    out << plural(o.files, "file", "files") << " compared";
    if (o.dryRun && !o.actions.empty())
        out << ", " << plural(o.actions.size(), "action", "actions") << " planned (dry run, nothing changed)";
    else if (!o.actions.empty())
        out << ", " << plural(o.actions.size(), "action", "actions") << " in " << plural(o.rounds, "round", "rounds");
    out << ": the backup " << (o.matches() ? (o.actions.empty() ? "already matches" : "now matches") : "does NOT match")
        << " this service processor\n";
}

Json outcomeJson(const Outcome& o) {
    Json actions = Json::array();
    for (const Action& a : o.actions) {
        const Difference& d = a.difference;
        actions.push_back(Json{{"round", a.round},
                               {"action", remedyName(d.remedy)},
                               {"dump", d.dump ? Json(decode::hex(*d.dump, 8)) : Json(nullptr)},
                               {"path", readable(d.path)},
                               {"offset", d.offset},
                               {"length", d.length},
                               {"hereSize", d.hereSize},
                               {"copySize", d.copySize},
                               {"detail", findingText(d)},
                               {"done", a.done},
                               {"why", a.why.empty() ? Json(nullptr) : Json(a.why)}});
    }
    return Json{{"dryRun", o.dryRun}, {"matches", o.matches()}, {"rounds", o.rounds}, {"files", o.files},
                {"actions", actions}, {"reasons", o.reasons}};
}

}  // namespace mirror
}  // namespace platdump
