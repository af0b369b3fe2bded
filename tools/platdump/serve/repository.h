// Everything the server asks of the dump library, one call at a time in
// the process (the library and the simulation keep process-wide state, and
// extraction is serialised system-wide by its semaphore anyway): the
// entries, one dump's facts, its summary's digest, the size of its stream,
// a piece of the stream, deletion, and the service's clock.
//
// Every ErrlEntry* handed back belongs to the caller.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "entryFacts.h"
#include "platdump/dumpDataBlock.h"
#include "toolJson.h"

class ErrlEntry;
struct _dumpstate;

namespace platdump::serve::repository {

struct Lookup {
    enum Outcome { Found, Missing, Unreadable };
    Outcome outcome = Missing;
    EntryFacts facts;
    std::string why;          // Unreadable: what failed
    Json errorLog = nullptr;  // Unreadable: the library's entry, decoded, when it gave one
};

// Dump id now.
Lookup entry(uint32_t id);
// Every dump the library lists, incomplete ones included; false with
// failure set (why, error log) when the repository cannot be listed.
bool entries(std::vector<EntryFacts>& out, Lookup& failure);
// The library's state records alone (for the event watcher): false when the
// repository cannot be listed.
bool states(std::vector<_dumpstate>& out);
// What a state record says, in the facts' terms (no created, SRC or digest).
EntryFacts stateFacts(const _dumpstate& state);

// A digest of dump id's summary file as it is now, read without the
// summary lock: a torn read can only differ from an earlier digest, never
// hide a change. None when the file cannot be read.
std::optional<uint64_t> summaryDigest(uint32_t id, const std::string& kind);

// The exact length of dump id's stream: the library's end-of-stream answer
// gives its low 32 bits, the summary's sizes (estimate) the rest. Null with
// size set, or the library's entry saying why the stream cannot be read.
ErrlEntry* streamSize(uint32_t id, bool mainStore, uint64_t estimate, uint64_t& size);
// One request of the stream (DumpExtractData::ExtractDump).
ErrlEntry* extract(uint32_t id, uint64_t offset, unsigned int& length, char* buffer, bool mainStore,
                   dumpDMAEhandle* handle);

struct Deletion {
    enum Outcome { Deleted, Missing, Failed };
    Outcome outcome = Missing;
    std::string why;
    Json errorLogs = Json::array();  // Failed: what the library committed or handed back, decoded
};
Deletion remove(uint32_t id);

// The service processor's clock: "2026-12-05T20:30:15+00:00".
std::string now();

}  // namespace platdump::serve::repository
