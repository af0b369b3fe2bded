#include "showCommand.h"

#include "dumpAccess.h"
#include "dumpId.h"
#include "errlogJson.h"
#include "errorReport.h"
#include "exitCodes.h"
#include "platdump/dumpState.h"
#include "platform/srciSrc.h"
#include "shownDump.h"
#include "textFormat.h"

namespace platdump {

namespace {

Json stateJson(DumpSummary& summary) {
    _dumpstate state{};
    state.size = sizeof state;
    if (!summary.PopulateDumpState(&state)) return nullptr;
    return Json{{"dumpFileName", fieldText(state.dumpFileName, sizeof state.dumpFileName)},
                {"complete", summary.isDumpComplete()},
                {"progress", state.progress},
                {"hardwareProgress", summary.GetHardwareDumpProgress()},
                {"dataSize", state.dataSize},
                {"dumpSize", state.dumpSize.value()}};
}

Json filesJson(const decode::SummaryFile& file) {
    Json files = Json::array();
    if (!file.fileNames) return files;
    for (const decode::NamedFile& f : file.fileNames->files) {
        std::optional<uint64_t> now = repositoryFileSize(f.name);
        files.push_back(Json{{"field", f.field},
                             {"name", f.name},
                             {"recordedSize", f.recordedSize ? Json(*f.recordedSize) : Json(nullptr)},
                             {"size", now ? Json(*now) : Json(nullptr)}});
    }
    return files;
}

Json countersJson(const decode::SummaryFile& file) {
    if (!file.fileNames) return nullptr;
    const decode::FileNamesRegion& r = *file.fileNames;
    return Json{{"tceErrorCount", r.tceErrorCount},
                {"dmaErrorCount", r.dmaErrorCount},
                {"privateFlags", r.privateFlags},
                {"totalHdctItemCount", r.totalHdctItemCount},
                {"finishedHdctItemCount", r.finishedHdctItemCount}};
}

Json clientJson(DumpSummary& summary) {
    const DumpClientRecord_t* c = summary.GetDumpClientRecord();
    return Json{{"toolType", c->toolType},
                {"clientId", fieldText(c->clientId, sizeof c->clientId)},
                {"userId", fieldText(c->userId, sizeof c->userId)}};
}

}  // namespace

CLI::App* addShowCommand(CLI::App& app, ShowOptions& options) {
    CLI::App* cmd = app.add_subcommand("show", "Show every field of a dump's summary, its files, client and SRC");
    addDumpIdArgument(cmd, options.id);
    cmd->add_flag("--json", options.json, "Print the dump as JSON");
    return cmd;
}

int runShow(const ShowOptions& options, std::ostream& out, std::ostream& err) {
    std::unique_ptr<DumpSummary> summary = openDump(options.id, "show", err);
    if (!summary) return kExitFailed;
    const std::string path = summaryPath(options.id, summary->GetSummaryType());

    // The file is read whole under the summary lock, so no setter of
    // another process is caught half-way.
    std::vector<uint8_t> bytes;
    std::string why;
    summary->lockExclusive();
    bool read = readRepositoryFile(path, bytes, why);
    summary->unlockExclusive();
    if (!read) {
        reportFailure(err, "show", why);
        return kExitFailed;
    }

    ShownDump shown;
    shown.file = decode::decodeSummaryFile(decode::MemorySource(bytes.data(), bytes.size()));
    const SrciSrc* src = summary->getSrc();
    shown.live = Json{{"dumpId", options.id},
                      {"kind", kindName(summary->GetSummaryType())},
                      {"summaryFile", path},
                      {"state", stateJson(*summary)},
                      {"files", filesJson(shown.file)},
                      {"counters", countersJson(shown.file)},
                      {"clientRecord", clientJson(*summary)},
                      {"src", src ? decodeSrc(*src) : Json(nullptr)}};
    if (options.json)
        printJson(out, shownDumpJson(shown));
    else
        printShownDump(out, shown);
    return kExitOk;
}

}  // namespace platdump
