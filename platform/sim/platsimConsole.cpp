// Control of the simulated consoles: the session table, the replies and
// the console service's view, as the files described in netcSim.h and
// kelx.cpp.
#include <sstream>

#include "netcSim.h"
#include "platsim.h"

namespace platsim {

namespace {

bool validType(const std::string& type) {
    return !type.empty() && type.size() <= 4 && type.find_first_of(" \t\r\n") == std::string::npos;
}

std::vector<uint8_t> fromHex(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

}  // namespace

bool setConsoleSession(unsigned index, const std::string& type, unsigned state,
                       const std::string& name) {
    std::string tag = type;
    while (!tag.empty() && tag.back() == ' ') tag.pop_back();
    if (index > 0xFF || state > 0xFF || !validType(tag) ||
        name.find_first_of("\r\n") != std::string::npos)
        return false;
    std::string text, kept;
    detail::readHostFile(detail::netcFile("sessions"), text);
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        detail::ConsoleSession session;
        if (detail::parseSessionLine(line, session) && session.index == index) continue;
        kept += line + "\n";
    }
    kept += std::to_string(index) + " " + tag + " " + std::to_string(state) + " " + name + "\n";
    return detail::writeHostFile(detail::netcFile("sessions"), kept);
}

bool setConsoleReply(unsigned index, const std::string& data) {
    return detail::writeHostFile(detail::netcFile("reply." + std::to_string(index)), data);
}

bool setManagedInfo(const std::string& words) {
    return detail::writeHostFile(detail::root() + "/sim/kelx/managedInfo", words + "\n");
}

std::vector<ConsoleExchange> consoleExchanges() {
    std::vector<ConsoleExchange> exchanges;
    std::string text;
    if (!detail::readHostFile(detail::netcFile("exchanges"), text)) return exchanges;
    std::istringstream in(text);
    ConsoleExchange x;
    std::string hex;
    while (in >> x.index >> x.socketType >> x.timeout >> hex) {
        x.request = fromHex(hex);
        exchanges.push_back(x);
    }
    return exchanges;
}

}  // namespace platsim
