// The orphan sweep and the summary of every dump on repositories of 100,
// 1,000 and 5,000 dumps, each dump with its summary, two pairs of nodal
// files, an MDST file and its status log (half the dumps complete, one in
// eight a hardware-unit dump). Nothing is an orphan, so the sweep removes
// nothing and measures its full comparison.
//
// Both are reported as "ratio_to_raw" against the raw system calls of the
// same reading work in the same run: scandir of the directory with
// alphasort, then open, read of the 4372-byte summary and close for every
// summary file. "growth_1000_to_5000" is the time on 5,000 dumps divided
// by the time on 1,000 (5 is linear).
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "bench/benchSupport.h"
#include "platdump/dumpCollections.h"
#include "platdump/dumpState.h"
#include "platdump/dumpStatusLogger.h"
#include "platdump/dumpSummary.h"
#include "platdump/dumpUtilFile.h"
#include "platform/errlEntry.h"
#include "platform/sim/platsim.h"

namespace {

constexpr size_t kSummaryBytes = 4372;
constexpr unsigned kNodalPairs = 2;
const int kSizes[] = {100, 1000, 5000};

void writeFile(const std::string& path) {
    DumpUtilFile f(path.c_str());
    delete f.open("w+");
    f.write("nodal data", 10);
    f.Close();
}

std::string name(const char* format, unsigned id) {
    char s[64];
    std::snprintf(s, sizeof s, format, id);
    return s;
}

void makeDump(unsigned i) {
    const bool hardwareUnit = i % 8 == 7;
    const unsigned id = (hardwareUnit ? 0x01000000 : 0) + i;
    ErrlEntry* errl = nullptr;
    DumpSummary s(hardwareUnit ? DumpSummary::HWU : DumpSummary::SYS, id, errl);
    delete errl;
    for (unsigned n = 0; n < kNodalPairs; ++n) {
        std::string data = name("/plat_dump/%08X.HwData", id) + std::to_string(n);
        std::string toc = name("/plat_dump/%08X.HwToc", id) + std::to_string(n);
        writeFile(data);
        writeFile(toc);
        s.SetHWDATAFileNames(n, data, toc);
    }
    std::string mdst = name("/plat_dump/%08X.MDST", id);
    writeFile(mdst);
    s.setMDSTFileName(mdst, 10);
    if (i % 2) s.setDumpFlagsByMask(0x8000);
    DumpStatusLogger(id).setSystemDumpRequested();
}

// One simulation root per repository size, built on first use.
std::map<int, std::string> roots;

void useRepository(int dumps) {
    auto found = roots.find(dumps);
    if (found != roots.end()) {
        setenv("PLATSIM_ROOT", found->second.c_str(), 1);
        return;
    }
    roots[dumps] = benchsupport::newSimulationRoot();
    for (int i = 0; i < dumps; ++i) makeDump(static_cast<unsigned>(i));
    std::remove(platsim::errlogPath().c_str());
}

std::map<int, double> g_rawNs, g_sweepNs, g_summaryNs;

double measure(benchmark::State& state, const std::function<void()>& work) {
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) work();
    return benchsupport::nsPerIteration(start, state);
}

void rawReads() {
    std::string dir = platsim::hostPath("/plat_dump");
    struct dirent** entries = nullptr;
    int count = ::scandir(dir.c_str(), &entries, nullptr, alphasort);
    char buffer[kSummaryBytes];
    for (int i = 0; i < count; ++i) {
        if (std::strstr(entries[i]->d_name, ".summary")) {
            int fd = ::open((dir + "/" + entries[i]->d_name).c_str(), O_RDONLY);
            benchmark::DoNotOptimize(::read(fd, buffer, sizeof buffer));
            ::close(fd);
        }
        free(entries[i]);
    }
    free(entries);
}

void report(benchmark::State& state, std::map<int, double>& times, double ns) {
    const int dumps = static_cast<int>(state.range(0));
    times[dumps] = ns;
    if (g_rawNs[dumps] > 0) state.counters["ratio_to_raw"] = ns / g_rawNs[dumps];
    if (dumps == 5000 && times[1000] > 0) state.counters["growth_1000_to_5000"] = ns / times[1000];
}

void raw(benchmark::State& state) {
    useRepository(static_cast<int>(state.range(0)));
    report(state, g_rawNs, measure(state, rawReads));
}

void sweep(benchmark::State& state) {
    useRepository(static_cast<int>(state.range(0)));
    report(state, g_sweepNs, measure(state, [] { DumpCollections::removeOrphanedFiles(); }));
}

void summarize(benchmark::State& state) {
    useRepository(static_cast<int>(state.range(0)));
    report(state, g_summaryNs, measure(state, [] {
               std::vector<_dumpstate> states;
               delete DumpCollections::dumpSummarizeDumps(states);
           }));
}

// Raw first for each size, so the ratios have their reference.
void registerAll() {
    for (int dumps : kSizes) {
        benchmark::RegisterBenchmark("raw", raw)->Arg(dumps)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("removeOrphanedFiles", sweep)->Arg(dumps)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("dumpSummarizeDumps", summarize)->Arg(dumps)->Unit(benchmark::kMillisecond);
    }
}

}  // namespace

int main(int argc, char** argv) {
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& root : roots)
        nftw(root.second.c_str(), [](const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); },
             16, FTW_DEPTH | FTW_PHYS);
    return 0;
}
