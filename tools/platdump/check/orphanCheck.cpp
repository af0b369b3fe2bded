// orphan: what the library's orphan sweep would remove. The sweep lists
// the repository, opens the summary of every dump the listings find, and
// removes, from this service processor only, every entry that no opened
// summary claims by exact path: its recorded summaryFileName, its
// intermediate files, its status log, its MDST file (see
// CheckedRepository). The summary of a dump the library cannot open is
// reported as damaged; the files that dump names are orphans of it.
#include <cstdlib>
#include <map>

#include "checks.h"
#include "decode/findings.h"
#include "dump/repository/repositoryPaths.h"
#include "platdump/dumpCollections.h"

namespace platdump {
namespace check {

namespace {

constexpr char kSweep[] = "the library's orphan sweep would remove it (here only, not on the backup)";
constexpr char kStatusLogPrefix[] = "dumpstatus.";

// The dump a status log's name is for; none for any other name.
std::optional<unsigned int> statusLogId(const std::string& path) {
    const std::string name = path.substr(path.rfind('/') + 1);
    if (name.compare(0, sizeof kStatusLogPrefix - 1, kStatusLogPrefix) != 0) return std::nullopt;
    const unsigned int id = static_cast<unsigned int>(std::strtoul(name.c_str() + sizeof kStatusLogPrefix - 1, nullptr, 16));
    if (dump::statusLogPath(id) != path) return std::nullopt;
    return id;
}

}  // namespace

void checkOrphans(const CheckedRepository& r, Report& report) {
    // What the dumps the library cannot open name, and their summaries.
    std::map<std::string, const CheckedDump*> namedByUnopened, summaries;
    for (const CheckedDump& d : r.dumps) {
        summaries.emplace(d.summaryPath, &d);
        if (!d.read || d.opens) continue;
        for (const decode::NamedFile& f : d.fileNames().files) namedByUnopened.emplace(f.path, &d);
        namedByUnopened.emplace(dump::statusLogPath(d.id), &d);
    }
    for (const std::string& entry : r.entries) {
        if (r.claimants.count(entry)) continue;
        auto summary = summaries.find(entry);
        if (summary != summaries.end()) {
            const CheckedDump& d = *summary->second;
            if (d.opens)
                report.add(kOrphan, d.id, entry,
                           "the dump's own summary, which records another summaryFileName: " + std::string(kSweep));
            continue;  // a summary the library cannot open: reported as damaged
        }
        auto named = namedByUnopened.find(entry);
        if (named != namedByUnopened.end()) {
            report.add(kOrphan, named->second->id, entry,
                       "a file of dump " + decode::hex(named->second->id, 8) + ", whose summary the library cannot open: " + kSweep);
            continue;
        }
        std::optional<unsigned int> logOf = statusLogId(entry);
        if (logOf) {
            report.add(kOrphan, std::nullopt, entry,
                       "the status log of dump " + decode::hex(*logOf, 8) + ", which the repository does not hold: " + kSweep);
            continue;
        }
        report.add(kOrphan, std::nullopt, entry, std::string("no dump claims it: ") + kSweep);
    }
}

}  // namespace check
}  // namespace platdump
