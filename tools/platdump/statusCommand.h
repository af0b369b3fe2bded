// `platdump status ID [--json]`: a dump's status log, the milestones its
// collector and offload program recorded, one event a line with its time
// as a date and the seconds since the first event.
#pragma once

#include <CLI/CLI.hpp>
#include <ostream>
#include <string>

#include "toolJson.h"

namespace platdump {

struct StatusOptions {
    unsigned int id = 0;
    bool json = false;
};

CLI::App* addStatusCommand(CLI::App& app, StatusOptions& options);
int runStatus(const StatusOptions& options, std::ostream& out, std::ostream& err);

// The status log of dump id as JSON ("dumpId", "statusLog", "events"); null
// with why set when it cannot be read.
Json readStatusLog(unsigned int id, std::string& why);

}  // namespace platdump
