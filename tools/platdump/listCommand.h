// `platdump list [--counts] [--current] [--json]`: one line per dump in the
// repository, from the library's summary of every readable dump (system
// dumps first, then hardware-unit and resource dumps): id, kind, complete or
// not, progress, size, offload file name. On request the library's counts
// and the current system dump.
#pragma once

#include <CLI/CLI.hpp>
#include <ostream>

#include "toolJson.h"

namespace platdump {

struct ListOptions {
    bool json = false;
    bool counts = false;
    bool current = false;
};

CLI::App* addListCommand(CLI::App& app, ListOptions& options);
int runList(const ListOptions& options, std::ostream& out, std::ostream& err);

// The listing as a JSON document and as text (also used by the demo); null
// with the failure reported on err when the repository cannot be listed.
Json listJson(const ListOptions& options, std::ostream& err);
void printList(std::ostream& out, const Json& list);

}  // namespace platdump
