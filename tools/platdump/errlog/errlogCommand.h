// `platdump errlog [--json]`: the error logs committed on the simulation
// ($PLATSIM_ROOT/errlog.jsonl), oldest first, each decoded (errlogJson.h).
#pragma once

#include <CLI/CLI.hpp>
#include <ostream>
#include <vector>

#include "toolJson.h"

namespace platdump {

struct ErrlogOptions {
    bool json = false;
};

CLI::App* addErrlogCommand(CLI::App& app, ErrlogOptions& options);
int runErrlog(const ErrlogOptions& options, std::ostream& out, std::ostream& err);

// How many entries the error log holds, and the entries from index from on,
// decoded (so a command can show what the library committed meanwhile).
size_t committedErrorLogCount();
std::vector<Json> committedErrorLogs(size_t from);

}  // namespace platdump
