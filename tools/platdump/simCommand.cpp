#include "simCommand.h"

#include "exitCodes.h"
#include "platform/sim/platsim.h"

namespace platdump {

CLI::App* addSimCommand(CLI::App& app) {
    CLI::App* cmd = app.add_subcommand("sim", "Control the host simulation");
    cmd->require_subcommand(1);
    cmd->add_subcommand("reload",
                        "Make every process of the simulation root read its control files again (after a hand edit)");
    return cmd;
}

int runSim(std::ostream& out) {
    platsim::reload();
    out << "the control files of " << platsim::root() << " count from the next call of every process\n";
    return kExitOk;
}

}  // namespace platdump
