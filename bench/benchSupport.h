// What every benchmark sets up and measures the same way: a simulation root
// of its own, the time per iteration of a timed loop, and the system calls
// of a run of the benchmark program itself, as strace counts them. A root
// made here is left on disk; the benchmark that made it removes it if it
// wants to.
#pragma once

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/sim/platsim.h"

namespace benchsupport {

// A new simulation root under /tmp, made current (PLATSIM_ROOT) and laid
// out. With machine, the registry holds what creating a dump reads: the
// serial number and the hypervisor mode.
inline std::string newSimulationRoot(bool machine = true) {
    char templ[] = "/tmp/platsim-bench-XXXXXX";
    std::string dir = ::mkdtemp(templ);
    ::setenv("PLATSIM_ROOT", dir.c_str(), 1);
    platsim::root();
    if (machine) {
        platsim::setRegistry("svpd/Raw_MachineSerialNumber", "BENCH01");
        platsim::setRegistry("menu/HypMode", std::string(1, '\0'));
    }
    return dir;
}

// Nanoseconds per iteration of state's loop, timed from start.
inline double nsPerIteration(std::chrono::steady_clock::time_point start, const benchmark::State& state) {
    auto ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    return ns / static_cast<double>(state.iterations());
}

// The system calls of one run of this program with args (its own modes,
// "--syscalls ..."), as "strace -f -c" counts them; -1 without strace.
inline long stracedSyscalls(const std::string& args) {
    char self[4096] = {0};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return -1;
    if (std::system("command -v strace >/dev/null 2>&1") != 0) return -1;
    char out[] = "/tmp/platsim-bench-strace-XXXXXX";
    int fd = ::mkstemp(out);
    if (fd < 0) return -1;
    ::close(fd);
    std::string command = std::string("strace -f -c -o ") + out + " '" + self + "' " + args +
                          " >/dev/null 2>&1";
    long total = -1;
    if (std::system(command.c_str()) == 0) {
        // The last row: "100.00 seconds usecs/call calls [errors] total".
        std::ifstream in(out);
        for (std::string line; std::getline(in, line);) {
            std::istringstream words(line);
            std::string percent, seconds, perCall;
            long calls = 0;
            if (line.find(" total") != std::string::npos && words >> percent >> seconds >> perCall >> calls)
                total = calls;
        }
    }
    ::unlink(out);
    return total;
}

// System calls per repetition of a mode that repeats its work N times
// ("--syscalls N ..."): runs with 1 and with 11, so that the setup cancels.
inline double syscallsPerRepetition(const std::string& mode, const std::string& rest = "") {
    long once = stracedSyscalls(mode + " 1 " + rest);
    long eleven = stracedSyscalls(mode + " 11 " + rest);
    if (once < 0 || eleven < 0) return -1;
    return static_cast<double>(eleven - once) / 10.0;
}

}  // namespace benchsupport
