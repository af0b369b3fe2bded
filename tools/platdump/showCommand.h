// `platdump show ID [--json]`: everything the repository holds about one
// dump: its state as the library condenses it, every field of the summary
// file decoded and named, the files it names with their recorded and
// current sizes, the client record and the dump's SRC.
#pragma once

#include <CLI/CLI.hpp>
#include <ostream>

namespace platdump {

struct ShowOptions {
    unsigned int id = 0;
    bool json = false;
};

CLI::App* addShowCommand(CLI::App& app, ShowOptions& options);
int runShow(const ShowOptions& options, std::ostream& out, std::ostream& err);

}  // namespace platdump
