// The block base, the memory block and the block list.
#include <cstdint>
#include <cstring>

#include "dump/support/dumpTrace.h"
#include "dump/support/report.h"
#include "platdump/dumpDataBlock.h"

namespace {

// A read asked of a block of no concrete kind.
constexpr dump::Site kBaseGetData = {0x0122, 1};

uint64_t locationOf(const void* p) { return reinterpret_cast<uintptr_t>(p); }

}  // namespace

DumpDataBlock::DumpDataBlock() : iv_Size(0), iv_Location(0), iv_Type(0) {}

DumpDataBlock::DumpDataBlock(uint32_t size, uint64_t location, blockType_t type)
    : iv_Size(size), iv_Location(location), iv_Type(type) {}

DumpDataBlock::~DumpDataBlock() = default;

uint32_t DumpDataBlock::getSize() const { return iv_Size; }

ErrlEntry* DumpDataBlock::getData(uint32_t offset, uint32_t length, char* buffer,
                                  dumpDMAEhandle*) const {
    dump::trace("DumpDataBlock::getData on a block of no kind: offset %u length %u", offset,
                length);
    return dump::errorAt(kBaseGetData, dump::RC_NO_DATA, dump::REASON_NO_DATA, offset, length,
                         static_cast<uint32_t>(locationOf(buffer)));
}

ErrlEntry* DumpDataBlock::remove() const { return nullptr; }

DumpDataBlockMS::DumpDataBlockMS(unsigned int size, char* data)
    : DumpDataBlock(size, locationOf(data), BLOCK_MS) {}

DumpDataBlockMS::~DumpDataBlockMS() = default;

ErrlEntry* DumpDataBlockMS::getData(uint32_t offset, uint32_t length, char* buffer,
                                    dumpDMAEhandle*) const {
    if (length == 0) return nullptr;
    const char* data = reinterpret_cast<const char*>(static_cast<uintptr_t>(iv_Location));
    std::memcpy(buffer, data + offset, length);
    return nullptr;
}

namespace {

// Blocks of a system dump's stream with a few main-store regions: room
// for them is made once, not as they come.
constexpr size_t kBlocksReserved = 16;

}  // namespace

DumpList::DumpList() { iv_blocks.reserve(kBlocksReserved); }

DumpList::~DumpList() {
    for (DumpDataBlock* block : iv_blocks) delete block;  // null entries: no-op
}

bool DumpList::append(DumpDataBlock* block) {
    iv_blocks.push_back(block);
    return true;
}
