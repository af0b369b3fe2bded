// `platdump mirror [ID] [--dry-run] [--json]`: brings the backup service
// processor's copies of the repository (or of one dump's files) in line
// with this processor's files, while this processor is the primary. A
// differing range is copied, a longer copy is deleted and copied whole, a
// missing copy is created, a copy of a file this processor does not hold
// is deleted; this processor's files are only read. A file that changes
// while it is copied is compared and copied again, for a bounded number of
// rounds; the command ends with a comparison that finds nothing. Exit 0:
// the backup matches (a dry run: it already did); 1: it does not, or this
// processor is not the primary, with why; 2: a wrong command line.
#pragma once

#include <CLI/CLI.hpp>
#include <ostream>

namespace platdump {

struct MirrorOptions {
    unsigned int id = 0;
    const CLI::Option* idOption = nullptr;  // counts whether ID was given
    bool dryRun = false;
    bool json = false;
};

CLI::App* addMirrorCommand(CLI::App& app, MirrorOptions& options);
int runMirror(const MirrorOptions& options, std::ostream& out, std::ostream& err);

}  // namespace platdump
