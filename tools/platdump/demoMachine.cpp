#include "demoMachine.h"

#include <unistd.h>

#include "decode/findings.h"
#include "platform/sim/platsim.h"
#include "platform/utilReg.h"
#include "platform/errlEntry.h"
#include "textFormat.h"

namespace platdump {

namespace {

constexpr uint64_t kMainStoreSize = 64u << 20;

// Writes the value unless the registry has the key; true when written.
bool setIfMissing(const char* key, const std::string& value) {
    uint32_t size = 0;
    ErrlEntry* missing = UtilReg::read(key, nullptr, size);
    if (!missing) return false;
    delete missing;
    delete UtilReg::write(key, value.data(), static_cast<uint32_t>(value.size()));
    return true;
}

// The number of values written (the others were there).
size_t setRegistry(size_t& present) {
    const auto values = platsim::runningServerRegistry();
    size_t written = 0;
    for (const auto& [key, value] : values) written += setIfMissing(key.c_str(), value) ? 1 : 0;
    present = values.size() - written;
    return written;
}

bool setConsole(const std::string& root) {
    if (::access((root + "/sim/netc/sessions").c_str(), F_OK) == 0) return false;
    platsim::setManagedInfo("managed=1 consoles=1 master=0");
    platsim::setConsoleSession(0, "KEL", 1, "hmc1");
    platsim::setConsoleReply(0, std::string(4, '\0') + "HMC V10R2 connected");
    return true;
}

}  // namespace

std::string regionBytes(const DemoRegion& r) {
    std::string bytes(r.length, '\0');
    uint32_t x = static_cast<uint32_t>(r.address >> 12) | 1;
    for (size_t i = 0; i < bytes.size(); ++i) {
        x = x * 1664525u + 1013904223u;
        bytes[i] = static_cast<char>(x >> 24);
    }
    return bytes;
}

std::vector<DemoRegion> prepareMachine(const std::string& root, DemoLog& log) {
    size_t present = 0;
    size_t written = setRegistry(present);
    bool console = setConsole(root);
    std::vector<DemoRegion> regions = {
        {0x0000000001000000ull, 512u << 10, "HYPDATA "},
        {0x0000000002400000ull, (256u << 10) + 4096, "PARTTBL "},
        {0x0000000003000000ull, 768u << 10, "HYPTRACE"},
    };
    platsim::setMainStoreSize(kMainStoreSize);
    for (const DemoRegion& r : regions) platsim::writeMainStore(r.address, regionBytes(r));
    log.step("machine", "serial AB12CD3, type-model 9080-HEX: " + std::to_string(written) +
                            " registry values set, " + std::to_string(present) + " were there");
    log.more(std::string(console ? "management console \"hmc1\" answers; " : "") + "main store " +
             byteSize(kMainStoreSize) + " with " + std::to_string(regions.size()) + " regions of hypervisor data");
    return regions;
}

}  // namespace platdump
