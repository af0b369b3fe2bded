#include "demoMachine.h"

#include <unistd.h>

#include "collector/runningServer.h"
#include "platform/sim/platsim.h"
#include "textFormat.h"

namespace platdump {

namespace {

constexpr uint64_t kMainStoreSize = 64u << 20;

bool setConsole(const std::string& root) {
    if (::access((root + "/sim/netc/sessions").c_str(), F_OK) == 0) return false;
    collector::setConsoles(1);
    return true;
}

}  // namespace

std::string regionBytes(const collector::Region& r) {
    std::string bytes(r.length, '\0');
    uint32_t x = static_cast<uint32_t>(r.address >> 12) | 1;
    for (size_t i = 0; i < bytes.size(); ++i) {
        x = x * 1664525u + 1013904223u;
        bytes[i] = static_cast<char>(x >> 24);
    }
    return bytes;
}

std::vector<collector::Region> prepareMachine(const std::string& root, DemoLog& log) {
    const size_t written = collector::setRunningServerRegistry(true);
    const size_t present = collector::runningServerRegistry().size() - written;
    bool console = setConsole(root);
    std::vector<collector::Region> regions = {
        {0x0000000001000000ull, 512u << 10, "HYPDATA "},
        {0x0000000002400000ull, (256u << 10) + 4096, "PARTTBL "},
        {0x0000000003000000ull, 768u << 10, "HYPTRACE"},
    };
    platsim::setMainStoreSize(kMainStoreSize);
    for (const collector::Region& r : regions) platsim::writeMainStore(r.address, regionBytes(r));
    log.step("machine", "serial AB12CD3, type-model SIMX-T01: " + std::to_string(written) +
                            " registry values set, " + std::to_string(present) + " were there");
    const std::string consoleText =
        console ? "management console \"" + std::string(collector::kConsoleNames[0]) + "\" answers; " : "";
    log.more(consoleText + "main store " + byteSize(kMainStoreSize) + " with " + std::to_string(regions.size()) +
             " regions of hypervisor data");
    return regions;
}

}  // namespace platdump
