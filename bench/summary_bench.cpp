// The cost of one summary setter (summary lock, region re-read, region
// write, mirror to the backup) against the raw system calls the same work
// needs: an flock lock/unlock pair, a 1024-byte read and a 1024-byte write
// at the summary region's offset, and a 1024-byte write at that offset in
// the backup's copy. The ratio is the counter "ratio_to_raw" of each
// setter case; the case on role 4 shows the cost without the mirror.
//
// Figures, one run each on the project's two-core machine under load:
//   before (9fc0353): raw 4.2 us; mirrored setter 40.1 us (9.5x), not
//   mirrored 14.3 us (3.4x).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "bench/benchSupport.h"
#include "platdump/dumpSummary.h"
#include "platform/errlEntry.h"
#include "platform/sim/platsim.h"

namespace {

constexpr uint32_t kRegion = 1024;
constexpr off_t kRegionOffset = 208;
constexpr unsigned kDumpId = 0x1A;

struct Root {
    Root() {
        dir = benchsupport::newSimulationRoot();
        ErrlEntry* errl = nullptr;
        DumpSummary create(DumpSummary::SYS, kDumpId, errl);
        delete errl;
    }
    std::string dir;
};

Root& root() {
    static Root r;
    return r;
}

double g_rawNsPerOp = 0;

void rawCalls(benchmark::State& state) {
    root();
    std::string lockPath = platsim::root() + "/sim/raw.lock";
    int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT, 0644);
    int local = ::open(platsim::hostPath("/plat_dump/raw.summary").c_str(), O_RDWR | O_CREAT, 0644);
    int copy = ::open(platsim::hostPath("/plat_dump/raw.summary", platsim::Fs::Backup).c_str(),
                      O_RDWR | O_CREAT, 0644);
    char buf[kRegion] = {0};
    benchmark::DoNotOptimize(::pwrite(local, buf, kRegion, kRegionOffset));
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        ::flock(lock, LOCK_EX);
        ::lseek(local, kRegionOffset, SEEK_SET);
        benchmark::DoNotOptimize(::read(local, buf, kRegion));
        buf[0] ^= 1;
        ::lseek(local, kRegionOffset, SEEK_SET);
        benchmark::DoNotOptimize(::write(local, buf, kRegion));
        benchmark::DoNotOptimize(::pwrite(copy, buf, kRegion, kRegionOffset));
        ::flock(lock, LOCK_UN);
    }
    g_rawNsPerOp = benchsupport::nsPerIteration(start, state);
    ::close(lock);
    ::close(local);
    ::close(copy);
}

void setter(benchmark::State& state, int role) {
    root();
    platsim::setRole(role);
    ErrlEntry* errl = nullptr;
    DumpSummary summary(kDumpId, errl);
    delete errl;
    unsigned short bit = 1;
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        summary.setDumpFlagsByMask(bit);
        bit = static_cast<unsigned short>(bit << 1 | bit >> 15);
    }
    if (g_rawNsPerOp > 0) state.counters["ratio_to_raw"] = benchsupport::nsPerIteration(start, state) / g_rawNsPerOp;
    platsim::setRole(1);
}

void setterMirrored(benchmark::State& state) { setter(state, 1); }
void setterNotMirrored(benchmark::State& state) { setter(state, 4); }

BENCHMARK(rawCalls);
BENCHMARK(setterMirrored);
BENCHMARK(setterNotMirrored);

}  // namespace

BENCHMARK_MAIN();
