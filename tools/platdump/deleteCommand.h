// `platdump delete ID`: deletes a dump through the library, which removes
// the files its summary names, its status log and its summary file (here
// and on the backup service processor) while no extraction runs, and then
// sweeps the repository for orphaned files. Error logs the library commits
// on the way are shown when the deletion fails.
#pragma once

#include <CLI/CLI.hpp>
#include <ostream>

namespace platdump {

struct DeleteOptions {
    unsigned int id = 0;
};

CLI::App* addDeleteCommand(CLI::App& app, DeleteOptions& options);
int runDelete(const DeleteOptions& options, std::ostream& out, std::ostream& err);

}  // namespace platdump
