// DumpSummary::buildDumpList: one dump's offload stream as a block list.
// The stream is the dump file header and the summary section (the
// summary's own region images), then the hardware data (the nodal TOC and
// data files, node group by node group, then the system nodal pair), then,
// when asked for and present, the hypervisor data: the MDRT file and the
// main-store regions it lists. The summary lock is held across the
// re-read of the regions and the MDRT read, so the list reflects one state
// of the summary file.
#include <cstring>
#include <memory>
#include <new>

#include "dump/summary/summaryLayout.h"
#include "dump/support/dumpTrace.h"
#include "dump/support/report.h"
#include "platdump/dumpDataBlock.h"
#include "platdump/dumpSummary.h"

using namespace dump;
using namespace dump::layout;

namespace {

constexpr Site kMdrtReadFailed = {0x1306, 0x2F};
constexpr Site kMdrtTooLarge = {0x1306, 0x30};

// One MDRT entry: 32 bytes, of which extraction uses the region's address
// and length.
constexpr size_t MDRT_ENTRY_SIZE = 32;
constexpr size_t MDRT_ADDRESS = 8;   // u64
constexpr size_t MDRT_LENGTH = 20;   // u32
// The largest MDRT read: 32768 regions, far more than a hypervisor lists.
// A larger mdrtFileSize is damage, refused like a table that cannot be
// allocated, rather than have every extraction request allocate and zero
// up to 4 GiB for it.
constexpr uint32_t MDRT_MAX_SIZE = 32768 * MDRT_ENTRY_SIZE;
// Tables up to this size (32 regions) are read without the heap.
constexpr uint32_t MDRT_SMALL_SIZE = 32 * MDRT_ENTRY_SIZE;

// A node group's four files, in stream order: name slot and size slot.
struct NodalFile {
    size_t name;
    size_t size;
    const char* what;
};
const NodalFile kNodeGroup[] = {
    {names::HW_TOC_FILE_NAME, names::HW_TOC_FILE_SIZE, "hardware TOC"},
    {names::HW_DATA_FILE_NAME, names::HW_DATA_FILE_SIZE, "hardware data"},
    {names::SP_TOC_FILE_NAME, names::SP_TOC_FILE_SIZE, "service-processor TOC"},
    {names::SP_DATA_FILE_NAME, names::SP_DATA_FILE_SIZE, "service-processor data"},
};

char* chars(uint8_t* p) { return reinterpret_cast<char*>(p); }

// A file block over the name slot at nameOffset of the file-names image.
// The slot's last byte is made NUL so that the name always ends inside it;
// an empty name is traced and the block appended all the same.
uint32_t appendFile(DumpList& list, uint8_t* names, size_t nameOffset, uint32_t size,
                    const char* what) {
    uint8_t* name = names + nameOffset;
    name[names::NAME_WIDTH - 1] = 0;
    if (name[0] == 0) trace("buildDumpList: empty %s file name, %u bytes", what, size);
    list.append(new DumpDataBlockFile(size, chars(name)));
    return size;
}

// The MDRT's whole-entry regions as main-store blocks; the number appended.
uint32_t appendMainStore(DumpList& list, const uint8_t* table, uint32_t tableSize, uint8_t useTce) {
    if (tableSize % MDRT_ENTRY_SIZE)
        trace("buildDumpList: MDRT of %u bytes, the last %u ignored", tableSize,
              static_cast<unsigned>(tableSize % MDRT_ENTRY_SIZE));
    uint32_t count = tableSize / MDRT_ENTRY_SIZE;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* entry = table + i * MDRT_ENTRY_SIZE;
        uint64_t address = be::getU64(entry, MDRT_ADDRESS);
        uint32_t length = be::getU32(entry, MDRT_LENGTH);
        if (useTce)
            list.append(new DumpDataBlockTCE(length, address));
        else
            list.append(new DumpDataBlockDMAE(length, address));
    }
    return count;
}

// The hypervisor section: the MDRT block, then, when the table could be
// read, its regions. A failed read is committed; the MDRT block stays.
uint32_t appendHypervisorData(DumpList& list, uint8_t* names, uint8_t useTce) {
    uint32_t tableSize = be::getU32(names, names::MDRT_FILE_SIZE);
    appendFile(list, names, names::MDRT_FILE_NAME, tableSize, "MDRT");
    const DumpDataBlock& mdrt = **(list.end() - 1);
    // A table of a few regions is read on the stack, a larger one on the
    // heap (below the limit, only an exhausted heap fails the allocation).
    // Zeroed either way: a short read leaves no stale bytes.
    uint8_t small[MDRT_SMALL_SIZE];
    std::unique_ptr<uint8_t[]> large;
    uint8_t* table = small;
    if (tableSize <= MDRT_SMALL_SIZE) {
        std::memset(small, 0, tableSize);
    } else {
        if (tableSize <= MDRT_MAX_SIZE) large.reset(new (std::nothrow) uint8_t[tableSize]());  // GCOVR_EXCL_BR_LINE
        table = large.get();
    }
    if (!table) {
        trace("buildDumpList: no memory for an MDRT of %u bytes (at most %u read)", tableSize, MDRT_MAX_SIZE);
        commit(errorAt(kMdrtTooLarge, RC_NO_DATA, REASON_NO_DATA, tableSize));
        return 0;
    }
    if (ErrlEntry* e = mdrt.getData(0, tableSize, chars(table), nullptr)) {
        trace("buildDumpList: MDRT of %u bytes unreadable", tableSize);
        commit(passedAt(e, kMdrtReadFailed));
        return 0;
    }
    return appendMainStore(list, table, tableSize, useTce);
}

}  // namespace

DumpList* DumpSummary::buildDumpList(uint8_t useTce, bool includeMainStore) {
    lockExclusive();
    ReadFileHeader();
    ReadSummary();
    ReadFileNames();
    uint8_t* names = iv_image.fileNames;
    DumpList* list = new DumpList;

    // The first block is as long as fileHeaderSize says: a larger value
    // runs on into the summary's image, which follows the header's in
    // memory as in the file. It is held to the images' end so that a
    // damaged field cannot make the block reach past them.
    uint32_t headerSize = be::getU16(iv_image.summary, sum::FILE_HEADER_SIZE_FIELD);
    if (headerSize > sizeof iv_image) {
        trace("buildDumpList: file header size %u of dump 0x%08X held to %zu", headerSize,
              iv_dumpId, sizeof iv_image);
        headerSize = sizeof iv_image;
    }
    list->append(new DumpDataBlockMS(headerSize, chars(iv_image.fileHeader)));
    list->append(new DumpDataBlockMS(SUMMARY_SIZE, chars(iv_image.summary)));

    unsigned slots = 0;
    for (unsigned i = 0; i < names::NODAL_SLOTS; ++i) {
        if (be::getU32(names, names::sizeSlot(names::HW_TOC_FILE_SIZE, i)) == 0) continue;
        for (const NodalFile& f : kNodeGroup)
            appendFile(*list, names, names::nameSlot(f.name, i),
                       be::getU32(names, names::sizeSlot(f.size, i)), f.what);
        ++slots;
    }
    uint16_t nodeCount = be::getU16(iv_image.summary, sum::HARDWARE_NODE_COUNT);
    if (slots != nodeCount)
        trace("buildDumpList: %u node groups in dump 0x%08X, hardwareNodeCount %u", slots,
              iv_dumpId, nodeCount);
    appendFile(*list, names, names::SYS_TOC_FILE_NAME,
               be::getU32(names, names::SYS_TOC_FILE_SIZE), "system TOC");
    appendFile(*list, names, names::SYS_DATA_FILE_NAME,
               be::getU32(names, names::SYS_DATA_FILE_SIZE), "system data");

    uint32_t regions = 0;
    if (includeMainStore && (be::getU16(iv_image.summary, sum::DUMP_FLAGS) & sum::mainstoreDumpExistsFlag))
        regions = appendHypervisorData(*list, names, useTce);

    unlockExclusive();
    trace("buildDumpList: dump 0x%08X: %zu blocks, %u node groups, %u main-store regions",
          iv_dumpId, list->size(), slots, regions);
    return list;
}
