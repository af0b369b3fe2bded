// Base of every user-data section: a derived class allocates its buffer
// once with allocUsrBuf (the section owns it) and fills it; addToLog
// attaches a copy of the buffer to an entry, named after the derived class.
#pragma once

#include <cstdint>

#include "platformExport.h"

class ErrlEntry;

namespace util {

class PLATFORM_EXPORT ErrlUsrDataCreator {
public:
    ErrlUsrDataCreator();
    virtual ~ErrlUsrDataCreator();
    virtual void addToLog(ErrlEntry* entry) const;

    ErrlUsrDataCreator(const ErrlUsrDataCreator&) = delete;
    ErrlUsrDataCreator& operator=(const ErrlUsrDataCreator&) = delete;

    const uint8_t* getUsrBuf() const { return iv_buffer; }
    uint32_t getUsrBufSize() const { return iv_size; }

protected:
    // Returns a zero-filled buffer of size bytes, owned by the section. A
    // second call replaces the first buffer.
    uint8_t* allocUsrBuf(uint32_t size);

private:
    uint8_t* iv_buffer = nullptr;
    uint32_t iv_size = 0;
};

}  // namespace util
