#include "runningServer.h"

#include <cstdint>

#include "platform/bigEndian.h"
#include "platform/errlEntry.h"
#include "platform/sim/platsim.h"
#include "platform/utilReg.h"

namespace collector {

namespace {

std::string word(uint32_t v) {
    uint8_t b[4];
    be::putU32(b, 0, v);
    return std::string(reinterpret_cast<const char*>(b), sizeof b);
}

bool present(const std::string& key) {
    uint32_t size = 0;
    ErrlEntry* missing = UtilReg::read(key.c_str(), nullptr, size);
    delete missing;
    return missing == nullptr;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> runningServerRegistry() {
    constexpr uint32_t kVoskStamp = 1796502615;  // 2026-12-05 20:30:15 UTC
    constexpr uint32_t kStateRunning = 9;
    constexpr char kOperatingMode = 2;
    constexpr size_t kStateRecordLength = 56;
    return {
        {"svpd/Raw_MachineSerialNumber", "ab12cd3"},
        {"svpd/Raw_MachineTypeModel", "SIMX-T01"},
        {"fstp/SystemName", "sim-server-01"},
        {"smgr/CecIplType", word(0x0000A1B2)},
        {"smgr/TovIplType", word(1)},
        {"menu/HypMode", std::string(1, '\x01')},
        {"menu/VoskDumpContent", std::string(1, '\x03')},
        {"mbox/voskHRMOR", std::string("\0\0\0\0\x08\0\0\0", 8)},
        {"dump/VoskInfo", word(kVoskStamp) + word(0x11111111) + word(0x22222222) + "PAYLOAD8"},
        {"iplp/SysOpMode", std::string(1, kOperatingMode)},
        {"smgr/StateData", word(kStateRunning) + std::string(kStateRecordLength - 4, '\0')},
    };
}

size_t setRunningServerRegistry(bool keepPresent) {
    size_t written = 0;
    for (const auto& [key, value] : runningServerRegistry()) {
        if (keepPresent && present(key)) continue;
        platsim::setRegistry(key, value);
        ++written;
    }
    return written;
}

void setConsoles(unsigned count) {
    platsim::setManagedInfo("managed=1 consoles=1 master=0");
    for (unsigned i = 0; i < count && i < sizeof kConsoleNames / sizeof kConsoleNames[0]; ++i)
        platsim::setConsoleSession(i, "KEL", i + 1, kConsoleNames[i]);
    platsim::setConsoleReply(0, std::string(4, '\0') + kConsoleReply);
}

}  // namespace collector
