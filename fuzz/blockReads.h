// Reading every block of a list as the extraction driver would, bounded:
// each block's first and last window of bytes (the whole block when it is
// small), so that a size the input made up costs one window, not the
// gigabytes it claims.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "platdump/dumpDataBlock.h"

namespace fuzzsupport {

constexpr uint32_t kReadWindow = 4096;

// check, when given, sees each window read without an error: the block's
// index in the list, the block, the offset in it, the bytes and their
// count.
using WindowCheck = std::function<void(size_t, const DumpDataBlock&, uint32_t, const char*, uint32_t)>;

// Reads the windows of the first maxBlocks blocks of list with handle
// (zero-filled by the caller); failed reads are dropped, as the driver
// would report them.
void readBlocks(const DumpList& list, dumpDMAEhandle& handle, const WindowCheck& check = nullptr,
                size_t maxBlocks = SIZE_MAX);

}  // namespace fuzzsupport
