#include "errlogCommand.h"

#include "errlogJson.h"
#include "errlogText.h"
#include "exitCodes.h"
#include "platform/sim/platsim.h"

namespace platdump {

size_t committedErrorLogCount() { return platsim::committedErrorLogs().size(); }

std::vector<Json> committedErrorLogs(size_t from) {
    std::vector<Json> entries;
    std::vector<std::string> lines = platsim::committedErrorLogs();
    for (size_t i = from; i < lines.size(); ++i) entries.push_back(decodeCommittedLine(i + 1, lines[i]));
    return entries;
}

CLI::App* addErrlogCommand(CLI::App& app, ErrlogOptions& options) {
    CLI::App* cmd = app.add_subcommand("errlog", "Show the committed error logs of the simulation, decoded");
    cmd->add_flag("--json", options.json, "Print the entries as JSON");
    return cmd;
}

int runErrlog(const ErrlogOptions& options, std::ostream& out, std::ostream&) {
    const std::string path = platsim::errlogPath();
    Json entries = committedErrorLogs(0);
    if (options.json) {
        printJson(out, Json{{"errlog", path}, {"entries", entries}});
        return kExitOk;
    }
    out << entries.size() << " error logs in " << path << "\n";
    for (const Json& e : entries) {
        out << "\n";
        printCommittedLog(out, e);
    }
    return kExitOk;
}

}  // namespace platdump
