// The platform DMA engine: copies a range of the managed server's main
// store into this service processor's memory, either straight from a
// main-store address or from a DMA address that the host granted through
// the mailbox (mbox.h).
//
// The caller owns its engine handle (fdal_t) and keeps it from call to call:
// dmaeSetup prepares the engine on it once, every later dmaeRawRead uses it.
// A handle whose second and third words are both zero has not been set up.
// Both calls return null on success, else an entry the caller owns.
#pragma once

#include <cstdint>

#include "platformExport.h"

class ErrlEntry;

// The engine handle. Only its words 1 and 2 have a meaning the caller may
// rely on (both zero: not set up); the rest belongs to the engine.
struct fdal_t {
    uint32_t word[4];
};

// A main-store address, high word first.
struct hdatMsAddr_t {
    uint32_t hi;
    uint32_t lo;
};

// Prepares the engine on handle. tceMode: reads will go through granted DMA
// addresses rather than main-store addresses. engine and depth select the
// engine and its queue; exclusive and wait are the engine's own options.
PLATFORM_EXPORT ErrlEntry* dmaeSetup(bool& tceMode, unsigned int engine, int depth,
                                     bool exclusive, fdal_t& handle, bool wait);

// Copies length bytes from address (a main-store address, or in tceMode a
// granted DMA address in the low word) to buffer. owner names the calling
// component in the engine's trace.
PLATFORM_EXPORT ErrlEntry* dmaeRawRead(hdatMsAddr_t& address, void* buffer, unsigned int length,
                                       bool tceMode, unsigned int engine, char const* owner,
                                       fdal_t& handle, bool wait);
