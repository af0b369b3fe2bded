// What the server shows of one dump: the library's state record, the
// summary's creation time and SRC, and the stream sizes, gathered in one
// look (repository.h) and rendered as a log entry (redfishJson.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platdump::serve {

struct EntryFacts {
    uint32_t id = 0;
    std::string kind;          // "SYS", "HWU", "RSC"
    std::string created;       // "2026-12-05T20:30:15+00:00"; "" when the summary has no valid time
    std::string dumpFileName;  // the offload name
    bool complete = false;
    uint32_t progress = 0;
    uint16_t dumpFlags = 0;
    std::vector<std::string> dumpFlagNames;
    uint16_t hwErrorFlags = 0;
    uint64_t memoryDumpErrorFlags = 0;
    uint32_t contentType = 0;
    uint32_t dataSize = 0;       // bytes of the nodal data files
    bool holdsMainStore = false;
    // The offload stream's length without and with main store (equal when
    // the dump holds none): as the library serves it once the dump is
    // complete, as the summary's sizes give it before.
    uint64_t streamSize = 0;
    uint64_t mainStoreStreamSize = 0;
    std::string src;           // the SRC's text; "" when the dump has none
    uint64_t summaryDigest = 0;  // of the summary file's bytes: the entity tags' base
};

}  // namespace platdump::serve
