#include "fuzz/blockReads.h"

#include <algorithm>

#include "platform/errlEntry.h"

namespace fuzzsupport {

namespace {

void readWindow(size_t index, const DumpDataBlock& block, uint32_t offset, uint32_t length,
                dumpDMAEhandle& handle, const WindowCheck& check) {
    static char buffer[kReadWindow];
    if (ErrlEntry* e = block.getData(offset, length, buffer, &handle)) {
        delete e;
        return;
    }
    if (check) check(index, block, offset, buffer, length);
}

}  // namespace

void readBlocks(const DumpList& list, dumpDMAEhandle& handle, const WindowCheck& check, size_t maxBlocks) {
    size_t index = 0;
    for (const DumpDataBlock* block : list) {
        if (index == maxBlocks) return;
        uint32_t size = block->getSize();
        uint32_t first = std::min(size, kReadWindow);
        readWindow(index, *block, 0, first, handle, check);
        if (size > first) {
            uint32_t last = std::min(size - first, kReadWindow);
            readWindow(index, *block, size - last, last, handle, check);
        }
        ++index;
    }
}

}  // namespace fuzzsupport
