// The dump library's error-log helpers. Every entry the library makes or
// extends goes through these, so all carry the dump component's id, SRC
// type, service code and location word.
//
// Location word: (module id << 16) | ((reason code & 0xFF) << 8) | location
// index. A module id is (function number << 8) | source-file number.
//
// Ownership: a created entry belongs to the caller; dumpCommitAndFreeLog
// commits and deletes an entry and nulls the caller's pointer.
#pragma once

#include <cstdint>

#include "dumpExport.h"
#include "platform/errlEntry.h"
#include "platform/errlUsrDataCreator.h"

extern "C" {

// An error the library detected: severity 0x20, SRC 0xB1 / 0x4399, one
// procedure callout (procedure 3 for return codes 3, 4, 6-10 and 20, else
// 4), and the "dump" trace buffer.
PLATDUMP_EXPORT ErrlEntry* dumpCreateErrorLog(uint32_t returnCode, uint16_t reasonCode,
                                              uint16_t moduleId, uint8_t locationIndex,
                                              uint32_t userWord1, uint32_t userWord2,
                                              uint32_t userWord3);
// A notice: severity 0, event type 1, SRC 0xB1 / 0x43FF, subsystem 0x81.
PLATDUMP_EXPORT ErrlEntry* dumpCreateInfoLog(uint32_t returnCode, uint16_t reasonCode,
                                             uint16_t moduleId, uint8_t locationIndex,
                                             uint32_t userWord1, uint32_t userWord2,
                                             uint32_t userWord3);
// An entry built from a given SRC, with one call point.
PLATDUMP_EXPORT ErrlEntry* dumpCreateCtrmLog(uint32_t returnCode, uint16_t reasonCode,
                                             uint16_t moduleId, uint8_t locationIndex,
                                             const SrciSrc& src);
// Adds the library's SRC to an entry a platform call returned; the return
// code becomes 2 unless the entry's primary SRC has reason code 0xBAF7.
PLATDUMP_EXPORT void addToReceivedError(ErrlEntry* entry, uint16_t reasonCode, uint16_t moduleId,
                                        uint8_t locationIndex, uint32_t userWord1,
                                        uint32_t userWord2, uint32_t userWord3);
// Records that an entry passed through this point (one software call point).
PLATDUMP_EXPORT void dumpAddFunctionCallPoint(ErrlEntry* entry, uint16_t moduleId,
                                              uint8_t locationIndex, uint32_t word);
PLATDUMP_EXPORT void dumpAddDetails(const util::ErrlUsrDataCreator& section, ErrlEntry* entry);
PLATDUMP_EXPORT void dumpAddTracePoints(ErrlEntry* entry);
PLATDUMP_EXPORT void dumpCommitAndFreeLog(ErrlEntry*& entry);
PLATDUMP_EXPORT uint32_t dumpCreateUniqueLocation(uint16_t reasonCode, uint16_t moduleId,
                                                  uint8_t locationIndex);

}  // extern "C"
