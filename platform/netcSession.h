// The network layer's session table: one entry per session index (one
// byte), each with a four-character type tag ("KEL " for a management
// console), a state and a name. A scan of the table is bracketed by its
// file lock, which keeps the table from changing meanwhile.
#pragma once

#include <cstdint>

#include "platformExport.h"

class ErrlEntry;
class UtilFile;

class PLATFORM_EXPORT NetcSessionEntry {
public:
    static constexpr uint32_t TYPE_SIZE = 4;
    static constexpr uint32_t NAME_SIZE = 64;  // with the terminating NUL

    NetcSessionEntry();

    // Loads the entry of session index into this object. A missing session
    // (or an unreadable table) is a failure and leaves the object empty.
    ErrlEntry* FindSessionEntry(uint8_t index);

    uint8_t getIndex() const { return iv_index; }
    // The type tag: TYPE_SIZE characters, NUL-terminated for convenience.
    const char* getType() const { return iv_type; }
    // The session's state; 0 for an empty entry.
    uint8_t getState() const { return iv_state; }
    // NUL-terminated, at most NAME_SIZE - 1 characters.
    const char* getName() const { return iv_name; }

private:
    void clear();

    uint8_t iv_index = 0;
    char iv_type[TYPE_SIZE + 1];
    uint8_t iv_state = 0;
    char iv_name[NAME_SIZE];
};

// Takes the table's lock (waiting while another holder has it). file is
// the caller's handle on the lock: pass the same object to the unlock.
PLATFORM_EXPORT ErrlEntry* netcSessionEntryFileLock(UtilFile& file);
PLATFORM_EXPORT ErrlEntry* netcSessionEntryFileUnLock(UtilFile& file);
