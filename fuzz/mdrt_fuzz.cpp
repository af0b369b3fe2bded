// Fuzzer of a dump's MDRT: the input is the MDRT file's bytes, put in
// place of the resident dump's table, its size recorded in the summary.
// The block list built from it (main store included) is read block by
// block; every main-store window read without an error must hold the main
// store's bytes at the address its entry gives. Bit 0 of the first byte
// (the entry's first field, which extraction does not use) chooses reads
// through host-granted addresses (TCE) over reads straight by the DMA
// engine.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "dump/summary/summaryLayout.h"

#include "fuzz/blockReads.h"
#include "fuzz/fuzzRoot.h"
#include "fuzz/residentDump.h"
#include "platdump/platdump.h"
#include "platform/bigEndian.h"

namespace {

using namespace fuzzsupport;

constexpr off_t kMdrtFileSizeField = dump::layout::FILE_NAMES_OFFSET + dump::layout::names::MDRT_FILE_SIZE;

// The resident dump's summary, opened once for the process.
DumpSummary& residentSummary() {
    static DumpSummary* summary = [] {
        residentDump();
        ErrlEntry* errl = nullptr;
        auto* s = new DumpSummary(kResidentId, errl);
        if (errl) std::abort();
        return s;
    }();
    return *summary;
}

void recordMdrtSize(const std::string& summaryPath, uint32_t size) {
    uint8_t field[4];
    be::putU32(field, 0, size);
    int fd = ::open(summaryPath.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0 || ::pwrite(fd, field, sizeof field, kMdrtFileSizeField) != sizeof field || ::close(fd) != 0)
        std::abort();
}

}  // namespace

// One setup a process: the resident dump and its summary opened, then the logs to /dev/null.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    residentSummary();
    discardLogs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DumpSummary& summary = residentSummary();
    const ResidentDump& dump = residentDump();
    writeWhole(dump.mdrt.hostPath, data, size);
    recordMdrtSize(dump.summary.hostPath, static_cast<uint32_t>(size));

    const uint8_t useTce = size > 0 ? data[0] & 1 : 0;
    DumpList* list = summary.buildDumpList(useTce, true);
    dumpDMAEhandle handle{};
    // The regions are the list's last blocks, one per whole entry.
    const size_t firstRegion = list->size() - size / kMdrtEntrySize;
    readBlocks(*list, handle, [&](size_t index, const DumpDataBlock& block, uint32_t offset, const char* bytes,
                                  uint32_t n) {
        if (block.getType() != DumpDataBlock::BLOCK_TCE && block.getType() != DumpDataBlock::BLOCK_DMAE) return;
        const size_t entry = index - firstRegion;
        const uint64_t address = be::getU64(data, entry * kMdrtEntrySize + kMdrtAddressAt) + offset;
        for (uint32_t i = 0; i < n; ++i)
            if (static_cast<uint8_t>(bytes[i]) != mainStoreByte(address + i)) {
                std::fprintf(stderr, "region %zu: byte %u at 0x%llX read wrong\n", entry, i,
                             static_cast<unsigned long long>(address + i));
                std::abort();
            }
    });
    delete list;
    return 0;
}
