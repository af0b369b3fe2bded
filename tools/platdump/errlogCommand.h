// `platdump errlog [--json]`: the error logs committed on the simulation
// ($PLATSIM_ROOT/errlog.jsonl), oldest first, each decoded (errlogJson.h).
#pragma once

#include <CLI/CLI.hpp>
#include <ostream>

namespace platdump {

struct ErrlogOptions {
    bool json = false;
};

CLI::App* addErrlogCommand(CLI::App& app, ErrlogOptions& options);
int runErrlog(const ErrlogOptions& options, std::ostream& out, std::ostream& err);

}  // namespace platdump
