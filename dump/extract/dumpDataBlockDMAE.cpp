// The DMAE block: main store read straight by the DMA engine. A failure is
// handed back as the engine reported it, with the engine's trace.
#include "dump/extract/mainStoreAccess.h"
#include "dump/support/dumpTrace.h"
#include "platdump/dumpDataBlock.h"
#include "platform/errlEntry.h"

DumpDataBlockDMAE::DumpDataBlockDMAE(unsigned int size, unsigned long long address)
    : DumpDataBlock(size, address, BLOCK_DMAE) {}

DumpDataBlockDMAE::~DumpDataBlockDMAE() = default;

ErrlEntry* DumpDataBlockDMAE::getData(uint32_t offset, uint32_t length, char* buffer,
                                      dumpDMAEhandle* handle) const {
    uint64_t start = dump::startAddress(iv_Location, offset);
    dump::trace("DumpDataBlockDMAE::getData: address 0x%016llX offset %u length %u",
                static_cast<unsigned long long>(start), offset, length);
    dump::EngineHandle engine(handle);
    ErrlEntry* e = dump::prepareEngine(false, engine.get());
    if (!e) e = dump::readByEngine(start, buffer, length, false, engine.get());
    if (!e) return nullptr;
    e->CollectTrace("dmae", 0);
    dump::trace("DumpDataBlockDMAE::getData failed: rc 0x%X, checkstop %d", e->getRC(),
                CheckstopPresent());
    return e;
}

extern "C" int CheckstopPresent() { return 0; }
