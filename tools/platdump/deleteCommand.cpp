#include "deleteCommand.h"

#include <string>
#include <vector>

#include "dumpAccess.h"
#include "dumpId.h"
#include "errlogCommand.h"
#include "errlogText.h"
#include "errorReport.h"
#include "exitCodes.h"
#include "platdump/dumpCollections.h"
#include "platform/utilFile.h"

namespace platdump {

CLI::App* addDeleteCommand(CLI::App& app, DeleteOptions& options) {
    CLI::App* cmd = app.add_subcommand("delete", "Delete a dump and every file it names");
    addDumpIdArgument(cmd, options.id);
    return cmd;
}

int runDelete(const DeleteOptions& options, std::ostream& out, std::ostream& err) {
    const size_t logsBefore = committedErrorLogCount();
    std::unique_ptr<DumpSummary> summary = openDump(options.id, "delete", err);
    if (!summary) return kExitFailed;
    const std::string path = summaryPath(options.id, summary->GetSummaryType());
    const char* kind = kindName(summary->GetSummaryType());
    std::vector<std::string> files;
    summary->getIntermediateFileNames(files);

    bool namedFiles = DeleteDump(summary.get());
    summary.reset();  // the handle of a deleted dump sweeps the repository once more
    if (UtilFile(path.c_str()).exists()) {
        reportFailure(err, "delete", "the library did not delete dump " + idText(options.id) + " (" + path + ")");
        for (const Json& e : committedErrorLogs(logsBefore)) printErrorLog(err, e, "  ");
        return kExitFailed;
    }
    out << "deleted dump " << idText(options.id) << " (" << kind << "): " << path << ", its status log and "
        << files.size() << (files.size() == 1 ? " file" : " files") << " it named"
        << (namedFiles ? "" : " (it named none)") << "\n";
    return kExitOk;
}

}  // namespace platdump
