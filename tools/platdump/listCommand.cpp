#include "listCommand.h"

#include <iomanip>
#include <vector>

#include "decode/summarySection.h"
#include "dumpAccess.h"
#include "dumpId.h"
#include "errorReport.h"
#include "exitCodes.h"
#include "platdump/dumpCollections.h"
#include "platdump/dumpState.h"
#include "textFormat.h"

namespace platdump {

namespace {

Json stateJson(const _dumpstate& s) {
    const bool complete = (s.dumpFlags & decode::kDumpCompleteFlag) != 0;
    return Json{{"dumpId", s.dumpId},
                {"kind", kindName(s.summaryType)},
                {"complete", complete},
                {"progress", s.progress},
                {"dumpSize", s.dumpSize.value()},
                {"dataSize", s.dataSize},
                {"dumpFileName", fieldText(s.dumpFileName, sizeof s.dumpFileName)},
                {"dumpFlags", s.dumpFlags},
                {"dumpFlagNames", decode::dumpFlagNames(s.dumpFlags)}};
}

Json countsJson(std::ostream& err) {
    unsigned int sys = 0, sysOpen = 0, hwu = 0, hwuOpen = 0, apart = 0;
    if (!DumpCollections::CountDumps(sys, sysOpen, hwu, hwuOpen, apart)) {
        reportFailure(err, "list", "the library cannot count the dumps");
        return nullptr;
    }
    return Json{{"systemDumps", sys},
                {"systemDumpsNotComplete", sysOpen},
                {"hardwareUnitDumps", hwu},
                {"hardwareUnitDumpsNotComplete", hwuOpen},
                {"setApartDumpId", apart == 0 ? Json(nullptr) : Json(apart)}};
}

Json currentJson() {
    unsigned int id = 0;
    return DumpCollections::GetCurrentDumpID(id) ? Json(id) : Json(nullptr);
}

std::string sizeText(const Json& d) {
    if (d["complete"].get<bool>()) return byteSize(d["dumpSize"].get<uint64_t>());
    return byteSize(d["dataSize"].get<uint64_t>()) + " so far";
}

}  // namespace

CLI::App* addListCommand(CLI::App& app, ListOptions& options) {
    CLI::App* cmd = app.add_subcommand("list", "List the dumps in the repository");
    cmd->add_flag("--counts", options.counts, "Add the library's counts of system and hardware-unit dumps");
    cmd->add_flag("--current", options.current, "Add the current system dump");
    cmd->add_flag("--json", options.json, "Print the list as JSON");
    return cmd;
}

Json listJson(const ListOptions& options, std::ostream& err) {
    std::vector<_dumpstate> states;
    ErrlEntry* e = DumpCollections::dumpSummarizeDumps(states);
    if (e) {
        reportFailure(err, "list", std::string("the library cannot list ") + DumpCollections::MOUNT_POINT, e);
        return nullptr;
    }
    Json dumps = Json::array();
    for (const _dumpstate& s : states) dumps.push_back(stateJson(s));
    Json list{{"dumps", dumps}};
    if (options.counts) {
        list["counts"] = countsJson(err);
        if (list["counts"].is_null()) return nullptr;
    }
    if (options.current) list["currentDumpId"] = currentJson();
    return list;
}

void printList(std::ostream& out, const Json& list) {
    const Json& dumps = list["dumps"];
    out << std::left << std::setw(12) << "ID" << std::setw(6) << "KIND" << std::setw(10) << "COMPLETE"
        << std::setw(10) << "PROGRESS" << std::setw(18) << "SIZE"
        << "FILE\n";
    for (const Json& d : dumps)
        out << std::setw(12) << idText(d["dumpId"].get<unsigned int>()) << std::setw(6) << d["kind"].get<std::string>()
            << std::setw(10) << (d["complete"].get<bool>() ? "yes" : "no") << std::setw(10)
            << (std::to_string(d["progress"].get<unsigned>()) + "%") << std::setw(18) << sizeText(d)
            << d["dumpFileName"].get<std::string>() << "\n";
    out << dumps.size() << (dumps.size() == 1 ? " dump\n" : " dumps\n");
    if (list.contains("counts")) {
        const Json& c = list["counts"];
        out << "counts: " << c["systemDumps"] << " system dumps (" << c["systemDumpsNotComplete"]
            << " not complete), " << c["hardwareUnitDumps"] << " hardware-unit dumps ("
            << c["hardwareUnitDumpsNotComplete"] << " not complete), set apart: "
            << (c["setApartDumpId"].is_null() ? "none" : idText(c["setApartDumpId"].get<unsigned int>())) << "\n";
    }
    if (list.contains("currentDumpId"))
        out << "current dump: "
            << (list["currentDumpId"].is_null() ? "none" : idText(list["currentDumpId"].get<unsigned int>())) << "\n";
}

int runList(const ListOptions& options, std::ostream& out, std::ostream& err) {
    Json list = listJson(options, err);
    if (list.is_null()) return kExitFailed;
    if (options.json)
        printJson(out, list);
    else
        printList(out, list);
    return kExitOk;
}

}  // namespace platdump
