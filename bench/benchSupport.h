// What every benchmark sets up and measures the same way: a simulation root
// of its own, and the time per iteration of a timed loop. A root made here
// is left on disk; the benchmark that made it removes it if it wants to.
#pragma once

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
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

}  // namespace benchsupport
