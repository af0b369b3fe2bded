// The platform registry: named values ("component/name") of raw bytes.
#pragma once

#include <cstdint>

#include "platformExport.h"

class ErrlEntry;

class PLATFORM_EXPORT UtilReg {
public:
    // Reads the value of key. With a null buffer only its length is
    // returned in size. Otherwise size gives the buffer's capacity: a value
    // that fits is copied and size set to its length; a longer value, or a
    // missing key, is a failure (size then holds the value's length, or 0).
    // flag: true for a read that may be served from the registry cache.
    static ErrlEntry* read(const char* key, void* buffer, uint32_t& size,
                           bool flag = true, ErrlEntry* parent = nullptr);
    // Writes a value (creating the key).
    static ErrlEntry* write(const char* key, const void* buffer, uint32_t size);
    // Path of the file that holds key's value, below the roots named by
    // rootKeys. outPath is allocated with malloc; the caller frees it.
    static ErrlEntry* path(const char* const* rootKeys, uint32_t count, const char* key,
                           char*& outPath, uint32_t& outLength);
};
