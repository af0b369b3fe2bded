// What the simulated platform adds to a file write: a 1024-byte write at a
// fixed offset through UtilFile (seek + write, path resolution and fault
// check included) against lseek + write on the same kind of file. The
// ratio is reported as the counter "ratio_to_raw" of the UtilFile case.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "bench/benchSupport.h"
#include "platform/sim/platsim.h"
#include "platform/utilFile.h"

namespace {

constexpr uint32_t kBytes = 1024;
constexpr int64_t kOffset = 208;

struct Root {
    std::string dir = benchsupport::newSimulationRoot(false);
};

double g_rawNsPerOp = 0;

void rawWrite(benchmark::State& state) {
    static Root root;
    std::string path = platsim::hostPath("/plat_dump/raw");
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0644);
    char buf[kBytes] = {0};
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        ::lseek(fd, kOffset, SEEK_SET);
        benchmark::DoNotOptimize(::write(fd, buf, kBytes));
    }
    g_rawNsPerOp = benchsupport::nsPerIteration(start, state);
    ::close(fd);
}

void utilFileWrite(benchmark::State& state) {
    static Root root;
    UtilFile f("/plat_dump/sim");
    f.Open("w+", false);
    char buf[kBytes] = {0};
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        f.seek(kOffset, UtilStream::START);
        benchmark::DoNotOptimize(f.write(buf, kBytes));
    }
    if (g_rawNsPerOp > 0) state.counters["ratio_to_raw"] = benchsupport::nsPerIteration(start, state) / g_rawNsPerOp;
}

BENCHMARK(rawWrite);
BENCHMARK(utilFileWrite);

}  // namespace

BENCHMARK_MAIN();
