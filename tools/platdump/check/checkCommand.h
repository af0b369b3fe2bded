// `platdump check [ID] [--json]`: a read-only consistency check of the
// repository and of its mirror on the backup service processor, the way a
// file-system checker reports a volume: every dump (or the one named), the
// files its summary names, what the library's crash repair and orphan
// sweep would change, and the backup's copies. It never changes anything:
// it reads the files itself and constructs no library object that writes
// or removes. Exit status 0 when nothing is found, 1 when something is (or
// the repository cannot be read).
#pragma once

#include <CLI/CLI.hpp>
#include <ostream>

namespace platdump {

struct CheckOptions {
    unsigned int id = 0;
    const CLI::Option* idOption = nullptr;  // counts whether ID was given
    bool json = false;
};

CLI::App* addCheckCommand(CLI::App& app, CheckOptions& options);
int runCheck(const CheckOptions& options, std::ostream& out, std::ostream& err);

}  // namespace platdump
