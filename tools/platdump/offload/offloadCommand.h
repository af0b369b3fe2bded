// `platdump offload ID -o FILE [--request-size N] [--offset N]
// [--main-store]`: reads a dump's offload stream through the library's
// extraction driver, one request of N bytes after the other from byte
// offset N (0: the whole stream; more: the rest of it, to resume a
// transfer), with main store when asked, into FILE. FILE is written under a
// temporary name and renamed when complete; a failure reports the library's
// error log and leaves neither FILE nor the temporary file behind.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <ostream>
#include <string>

class ErrlEntry;

namespace platdump {

struct OffloadOptions {
    unsigned int id = 0;
    std::string file;
    uint32_t requestSize = 1u << 20;
    uint64_t offset = 0;
    bool mainStore = false;
};

CLI::App* addOffloadCommand(CLI::App& app, OffloadOptions& options);
// progress: whether to draw the progress bar on err.
int runOffload(const OffloadOptions& options, bool progress, std::ostream& out, std::ostream& err);

// What an entry ExtractDump returned means.
enum class ExtractOutcome {
    EndOfStream,           // the request ran past the end: the bytes up to it were delivered
    Deleted,               // the dump was deleted during the offload
    NoSummary,             // no summary file of this id
    NotComplete,           // the dump is not complete
    MainStoreUnreachable,  // main store cannot be read in the system's present state
    StateUnreadable,       // the system state cannot be read from the registry
    Failed,                // any other failure
};
ExtractOutcome extractOutcome(const ErrlEntry& e);
// The outcome for a person, with the stream offset it happened at.
std::string failureText(const ErrlEntry& e, uint64_t offset);

// The offload itself (also the demo's): true with bytes set to the bytes
// written; false when it failed, reported on err, with no file left.
bool offloadDump(const OffloadOptions& options, bool progress, std::ostream& err, uint64_t& bytes);

}  // namespace platdump
