#include "statusCommand.h"

#include "dump/repository/repositoryPaths.h"
#include "dumpAccess.h"
#include "dumpId.h"
#include "errorReport.h"
#include "exitCodes.h"
#include "statusLog.h"
#include "timeText.h"
#include "toolJson.h"

namespace platdump {

namespace {

Json statusJson(unsigned int id, const std::string& path, const std::vector<uint8_t>& bytes) {
    Json events = Json::array();
    for (const StatusLine& line : statusLines(bytes)) {
        Json j{{"line", line.number}};
        if (!line.event) {
            j["event"] = nullptr;
            j["text"] = line.text;
        } else {
            j["event"] = line.event->keyword;
            j["seconds"] = line.event->seconds;
            j["time"] = epochDate(line.event->seconds);
        }
        events.push_back(std::move(j));
    }
    return Json{{"dumpId", id}, {"statusLog", path}, {"events", events}};
}

void printStatus(std::ostream& out, const Json& status) {
    const Json& events = status["events"];
    out << "Status log of dump " << idText(status["dumpId"].get<unsigned int>()) << " ("
        << status["statusLog"].get<std::string>() << "): " << events.size() << " lines\n";
    const Json* first = nullptr;
    for (const Json& e : events) {
        if (e["event"].is_null()) {
            out << "  line " << e["line"].get<size_t>() << " is no event: \"" << e["text"].get<std::string>() << "\"\n";
            continue;
        }
        if (!first) first = &e;
        long long since = e["seconds"].get<long long>() - (*first)["seconds"].get<long long>();
        out << "  " << e["time"].get<std::string>() << "  " << (since < 0 ? "" : "+") << since << " s  "
            << e["event"].get<std::string>() << "\n";
    }
}

}  // namespace

CLI::App* addStatusCommand(CLI::App& app, StatusOptions& options) {
    CLI::App* cmd = app.add_subcommand("status", "Show a dump's status log with readable times");
    addDumpIdArgument(cmd, options.id);
    cmd->add_flag("--json", options.json, "Print the events as JSON");
    return cmd;
}

Json readStatusLog(unsigned int id, std::string& why) {
    const std::string path = dump::statusLogPath(id);
    std::vector<uint8_t> bytes;
    if (!readRepositoryFile(path, bytes, why)) return nullptr;
    return statusJson(id, path, bytes);
}

int runStatus(const StatusOptions& options, std::ostream& out, std::ostream& err) {
    std::string why;
    Json status = readStatusLog(options.id, why);
    if (status.is_null()) {
        reportFailure(err, "status", "no status log for dump " + idText(options.id) + ": " + why);
        return kExitFailed;
    }
    if (options.json)
        printJson(out, status);
    else
        printStatus(out, status);
    return kExitOk;
}

}  // namespace platdump
