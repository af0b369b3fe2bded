// The library's failure-table pattern as single calls. Each row of a
// failure table names a reporting point (module id and location index), a
// helper, its codes by name (dump/support/codes.h; the wrappers take no
// bare number) and its words; these wrappers make one row one expression,
// e.g.
//
//   return withDetails(errorAt({0x0113, 9}, RC_FAILED, REASON_FILE, id),
//                      "Dump Summary Header file", path);
//
// Every function taking an entry accepts null and then does nothing, and
// returns the entry it was given, so calls chain. Ownership of the entry
// stays with the caller throughout.
#pragma once

#include <cstdint>
#include <string>

#include "dump/support/codes.h"

class ErrlEntry;
class UtilStream;

namespace dump {

// One reporting point: module id ((function << 8) | source file) and the
// location index inside that function.
struct Site {
    uint16_t module;
    uint8_t location;
};

// dumpCreateErrorLog / dumpCreateInfoLog at a site.
ErrlEntry* errorAt(Site site, ReturnCode returnCode, ReasonCode reasonCode, uint32_t word1 = 0,
                   uint32_t word2 = 0, uint32_t word3 = 0);
ErrlEntry* infoAt(Site site, ReturnCode returnCode, ReasonCode reasonCode, uint32_t word1 = 0,
                  uint32_t word2 = 0, uint32_t word3 = 0);

// addToReceivedError at a site.
ErrlEntry* receivedAt(ErrlEntry* entry, Site site, ReasonCode reasonCode, uint32_t word1 = 0,
                      uint32_t word2 = 0, uint32_t word3 = 0);

// dumpAddFunctionCallPoint at a site.
ErrlEntry* passedAt(ErrlEntry* entry, Site site, uint32_t word = 0);

// A DumpKeyValueStringInfo section (key: the failing action, value: most
// often the path) added with dumpAddDetails.
ErrlEntry* withDetails(ErrlEntry* entry, const std::string& key, const std::string& value);

// Sets the severity to informational (0) before the entry is committed.
ErrlEntry* asInformational(ErrlEntry* entry);

// Takes the stream's pending error (the caller then owns it); null if none.
ErrlEntry* takeError(UtilStream& stream);

// Commits and frees the entry when there is one; the pointer becomes null.
void commit(ErrlEntry*& entry);
// The same for an entry built in the call, e.g. commit(passedAt(e, site)).
inline void commit(ErrlEntry*&& entry) {
    ErrlEntry* e = entry;
    commit(e);
}
// Deletes the entry without committing it; the pointer becomes null.
void discard(ErrlEntry*& entry);

}  // namespace dump
