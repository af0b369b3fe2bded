// `platdump status ID [--json]`: a dump's status log, the milestones its
// collector and offload program recorded, one event a line with its time
// as a date and the seconds since the first event.
#pragma once

#include <CLI/CLI.hpp>
#include <ostream>

namespace platdump {

struct StatusOptions {
    unsigned int id = 0;
    bool json = false;
};

CLI::App* addStatusCommand(CLI::App& app, StatusOptions& options);
int runStatus(const StatusOptions& options, std::ostream& out, std::ostream& err);

}  // namespace platdump
