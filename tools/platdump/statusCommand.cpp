#include "statusCommand.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "dumpAccess.h"
#include "dumpId.h"
#include "errorReport.h"
#include "exitCodes.h"
#include "platdump/dumpCollections.h"
#include "timeText.h"
#include "toolJson.h"

namespace platdump {

namespace {

std::string statusLogPath(unsigned int id) {
    char name[32];
    std::snprintf(name, sizeof name, "/dumpstatus.%08X", id);
    return std::string(DumpCollections::MOUNT_POINT) + name;
}

// "KEYWORD,<seconds>": the event and its time; a line of another form is
// kept as text.
Json eventJson(size_t number, const std::string& line) {
    Json j{{"line", number}};
    size_t comma = line.rfind(',');
    const char* digits = comma == std::string::npos ? nullptr : line.c_str() + comma + 1;
    char* end = nullptr;
    errno = 0;
    long long seconds = digits && *digits ? std::strtoll(digits, &end, 10) : 0;
    if (comma == 0 || !end || *end != '\0' || errno != 0) {
        j["event"] = nullptr;
        j["text"] = line;
        return j;
    }
    j["event"] = line.substr(0, comma);
    j["seconds"] = seconds;
    j["time"] = epochDate(seconds);
    return j;
}

Json statusJson(unsigned int id, const std::string& path, const std::vector<uint8_t>& bytes) {
    Json events = Json::array();
    std::string text(bytes.begin(), bytes.end());
    size_t number = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        events.push_back(eventJson(++number, text.substr(start, end - start)));
        start = end + 1;
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
    const std::string path = statusLogPath(id);
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
