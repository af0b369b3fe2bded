// Byte stream of the platform base library. A failing operation leaves a
// pending error in the stream: an owned ErrlEntry* plus an error flag,
// which the caller takes over (takeError) or drops (clearError). A new
// failure replaces an older pending error.
#pragma once

#include <cstdint>

#include "platformExport.h"

class ErrlEntry;

class PLATFORM_EXPORT UtilStream {
public:
    enum whence { CURRENT = 0, START = 1, END = 2 };

    UtilStream();
    virtual ~UtilStream();
    UtilStream(const UtilStream&) = delete;
    UtilStream& operator=(const UtilStream&) = delete;

    // Bytes read or written; a failure returns the bytes moved before it.
    virtual uint32_t read(void* buffer, uint32_t size) = 0;
    virtual uint32_t write(const void* buffer, uint32_t size) = 0;
    // Moves relative to the current position, the start or the end and
    // returns the new position; -1 on failure. seek(0, CURRENT) reports the
    // position without moving.
    virtual int64_t seek(int64_t offset, whence from) = 0;
    virtual uint64_t size() const = 0;

    bool hasError() const { return iv_error != nullptr; }
    ErrlEntry* getLastError() const { return iv_error; }
    // Hands the pending error to the caller and clears the flag.
    ErrlEntry* takeError();
    // Deletes the pending error, if any.
    void clearError();

protected:
    // Takes ownership of error; deletes an older pending error.
    void setError(ErrlEntry* error);

private:
    ErrlEntry* iv_error = nullptr;
};
