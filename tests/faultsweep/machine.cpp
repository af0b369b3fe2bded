// The sweep's simulated machine (sweep.h).
#include <filesystem>
#include <fstream>

#include "collector/runningServer.h"
#include "platform/sim/platsim.h"
#include "sweep.h"

namespace sweep {

namespace {

constexpr int64_t kClock = 1796502615;  // 2026-12-05 20:30:15 UTC
constexpr uint64_t kTotalBlocks = 1000000, kFreeBlocks = 640000;
constexpr uint64_t kMainStoreSize = 1u << 20;

std::string word(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

// The same bytes for a region every time.
std::string regionBytes(const Region& r) {
    std::string bytes(r.length, '\0');
    uint32_t x = static_cast<uint32_t>(r.address >> 8) | 1;
    for (char& c : bytes) c = static_cast<char>((x = x * 1664525u + 1013904223u) >> 24);
    return bytes;
}

}  // namespace

const std::vector<Region>& systemDumpRegions() {
    // Together with the hardware data more than two 64 KiB requests.
    static const std::vector<Region> regions = {{0x40000, 80u << 10, ""}, {0x90100, (48u << 10) + 100, ""}};
    return regions;
}

Region unitDumpRegion() { return {kMainStoreSize + 0x1000, 4096, ""}; }

void prepareMachine() {
    platsim::setClock(kClock);
    platsim::setStatfs(kTotalBlocks, kFreeBlocks);
    collector::setRunningServerRegistry();
    const std::pair<const char*, std::string> dumpValues[] = {
        {"dump/DumpPending", std::string(1, '\x01')},
        {"dump/DumpPolicy", word(3)},
        {"dump/HwUnitDumpId", word(kUnitDump)},
        {"dump/SystemDumpId", word(kSystemDump)},
    };
    for (const auto& [key, value] : dumpValues) platsim::setRegistry(key, value);
    collector::setConsoles(2);
    platsim::setMainStoreSize(kMainStoreSize);
    for (const Region& r : systemDumpRegions()) platsim::writeMainStore(r.address, regionBytes(r));
    std::filesystem::create_directories(platsim::hostPath("/etc/dump"));
    std::filesystem::create_directories(platsim::hostPath("/var/mdst"));
    std::ofstream(platsim::hostPath(kMdstFile), std::ios::binary) << std::string(kMdstSize, '\x4D');
}

}  // namespace sweep
