// The DMA engine calls of the main-store blocks.
#include "dump/extract/mainStoreAccess.h"

#include "dump/support/dumpTrace.h"
#include "platform/dmae.h"

namespace dump {

namespace {

// The engine and queue the dump component reads main store with, and the
// name it reads under.
constexpr unsigned int kEngine = 7;
constexpr int kQueueDepth = 8;
constexpr char kOwner[] = "dump";

}  // namespace

bool engineSetUp(const dumpDMAEhandle& handle) {
    return handle.word[1] != 0 || handle.word[2] != 0;
}

ErrlEntry* prepareEngine(bool tceMode, dumpDMAEhandle& handle) {
    if (engineSetUp(handle)) return nullptr;
    bool mode = tceMode;
    trace("setting up the DMA engine (tce %d)", tceMode ? 1 : 0);
    return dmaeSetup(mode, kEngine, kQueueDepth, true, handle, true);
}

ErrlEntry* readByEngine(uint64_t address, char* buffer, uint32_t length, bool tceMode,
                        dumpDMAEhandle& handle) {
    hdatMsAddr_t at = {static_cast<uint32_t>(address >> 32), static_cast<uint32_t>(address)};
    return dmaeRawRead(at, buffer, length, tceMode, kEngine, kOwner, handle, true);
}

EngineHandle::EngineHandle(dumpDMAEhandle* callers) : iv_local(), iv_handle(callers) {
    if (iv_handle) return;
    trace("main-store read without a DMA engine handle: using one for this read");
    iv_handle = &iv_local;
}

}  // namespace dump
