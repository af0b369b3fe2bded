// `platdump sim reload`: the host simulation's processes read its control
// files again (fault files, role, the redundancy manager's call log) from
// their next call, after the files were edited by hand.
#pragma once

#include <CLI/CLI.hpp>
#include <ostream>

namespace platdump {

CLI::App* addSimCommand(CLI::App& app);
int runSim(std::ostream& out);

}  // namespace platdump
