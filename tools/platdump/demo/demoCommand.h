// `platdump demo`: the life of one system dump on the host simulation, as
// a collector and an offload program live it: the machine, creation, status
// events, client and SRC, the hardware and service-processor sections of
// several nodes, the system section, main store through an MDRT,
// completion, the listing, the offload with its progress, parse and
// verification of the offloaded stream, and deletion (left out with
// --keep, so that the repository can be looked at afterwards); each step is
// printed, then a one-screen summary. With PLATSIM_ROOT unset it runs on a
// fresh temporary root, which it keeps for a look afterwards.
#pragma once

#include <CLI/CLI.hpp>
#include <ostream>

namespace platdump {

struct DemoOptions {
    bool keep = false;  // the dump stays in the repository
};

CLI::App* addDemoCommand(CLI::App& app, DemoOptions& options);
// progress: whether the offload draws its progress bar on err.
int runDemo(const DemoOptions& options, bool progress, std::ostream& out, std::ostream& err);

}  // namespace platdump
