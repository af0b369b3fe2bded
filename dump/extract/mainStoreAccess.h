// What the two main-store blocks (DumpDataBlockTCE, DumpDataBlockDMAE)
// share: their reporting module, the start address of a request, and the
// DMA engine calls with the arguments the dump component always passes.
// Internal to the library.
#pragma once

#include <cstdint>

#include "platdump/dumpDataBlock.h"

class ErrlEntry;

namespace dump {

// Module id of both main-store block kinds' reporting points.
constexpr uint16_t MAIN_STORE_MODULE = 0x011F;

// The block's address plus the offset, carried into the high word.
inline uint64_t startAddress(uint64_t blockAddress, uint32_t offset) {
    return blockAddress + offset;
}

// A handle whose words 1 and 2 are both zero has not been set up.
bool engineSetUp(const dumpDMAEhandle& handle);

// Sets the engine up on handle unless it already is; null or the
// engine's entry.
ErrlEntry* prepareEngine(bool tceMode, dumpDMAEhandle& handle);

// Reads length bytes at address (a main-store address, or in tceMode a
// granted DMA address) into buffer; null or the engine's entry.
ErrlEntry* readByEngine(uint64_t address, char* buffer, uint32_t length, bool tceMode,
                        dumpDMAEhandle& handle);

// The handle a read uses: the caller's, or when the caller gave none a
// handle kept for this one read (set up anew each time).
class EngineHandle {
public:
    explicit EngineHandle(dumpDMAEhandle* callers);
    dumpDMAEhandle& get() { return *iv_handle; }

private:
    dumpDMAEhandle iv_local;
    dumpDMAEhandle* iv_handle;
};

}  // namespace dump
