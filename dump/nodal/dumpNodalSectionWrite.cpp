// DumpNodalSection's appends: an item's bytes to the data file, then its
// entry to the TOC file, then the header rewritten to count it. A crash at
// any point leaves a pair that finalisation can repair: the header only
// ever counts entries whose data and TOC bytes are already on disk. A
// failed item is not counted, and what it wrote stays: the next item goes
// at the data file's end.
#include <vector>

#include "dump/nodal/nodalFiles.h"
#include "dump/nodal/nodalLayout.h"
#include "dump/nodal/nodalRepairRules.h"
#include "dump/summary/summaryLayout.h"
#include "dump/support/dumpTrace.h"
#include "platdump/dumpNodalSection.h"
#include "platdump/dumpSummary.h"
#include "platdump/dumpUtilFile.h"
#include "platform/errlEntry.h"
#include "platform/orlaDataBuffer.h"

using namespace dump;
using namespace dump::nodal;

namespace {

constexpr Site kSpDataEndFailed{0x060F, 0xA};
constexpr Site kSpNotOpen{0x060F, 0x19};
constexpr Site kHwCopyOutFailed{0x070F, 0xB};
constexpr Site kHwAppendFailed{0x070F, 0xC};
constexpr Site kHwNotOpen{0x070F, 0x19};
constexpr Site kTocAppendFailed{0x080F, 0xD};
constexpr Site kDataAppendFailed{0x080F, 0xE};
constexpr Site kAppendSeek{0x090F, 0xF};
constexpr Site kAppendWrite{0x090F, 0x10};

// hwErrorFlags marked when a nodal file finds its file system full: the
// cause, and the bit whose first setting is logged.
constexpr unsigned int kFileSystemFullFlags =
    layout::sum::hwFileSystemFullFlag | layout::sum::hwLoggedErrorFlag;
constexpr uint32_t kBitsPerByte = 8;

// Seeks to the end of file and writes length bytes there. No buffer, or
// a write cut short without an error (the file system at its floor), is
// traced only.
ErrlEntry* appendBytes(DumpUtilFile& file, const void* buffer, uint32_t length) {
    if (length == 0) return nullptr;
    if (!buffer) {
        trace("DumpNodalSection: no buffer for %u bytes to %s", length, file.getFileName());
        return nullptr;
    }
    file.seek(0, UtilStream::END);
    if (ErrlEntry* e = fileFailure(file, kAppendSeek, STEP_SEEK, 0, "Seeking to File")) return e;
    uint32_t count = file.write(buffer, length);
    if (ErrlEntry* e = fileFailure(file, kAppendWrite, STEP_WRITE, 0, "Writing to File")) return e;
    if (count != length)
        trace("DumpNodalSection: %u of %u bytes appended to %s", count, length, file.getFileName());
    return nullptr;
}

}  // namespace

ErrlEntry* DumpNodalSection::appendToFile(DumpUtilFile& file, const void* buffer, uint32_t length) {
    ErrlEntry* e = appendBytes(file, buffer, length);
    if (file.iv_diskFull) {
        trace("DumpNodalSection: file system of %s full", file.getFileName());
        if (iv_Summary)
            iv_Summary->hwSysCollectionFailed(kFileSystemFullFlags);
        else
            trace("DumpNodalSection: no summary to mark");
    }
    return e;
}

ErrlEntry* DumpNodalSection::appendEntry(const uint8_t* entry, uint32_t entrySize, const void* data,
                                         uint32_t dataLength) {
    if (ErrlEntry* e = appendToFile(*iv_DataFile, data, dataLength))
        return withDetails(passedAt(e, kDataAppendFailed), "iv_DataFile", iv_DataFile->getFileName());
    if (ErrlEntry* e = appendToFile(*iv_TOCFile, entry, entrySize))
        return withDetails(passedAt(e, kTocAppendFailed), "iv_TOCFile", iv_TOCFile->getFileName());
    return nullptr;
}

uint32_t DumpNodalSection::dataFileEnd() {
    int64_t end = fileEnd(*iv_DataFile);
    if (!dropError(*iv_DataFile, "seek to the end")) return static_cast<uint32_t>(end);
    // Left open: the item's offset when the data file cannot be measured;
    // the header's data length, which every item so far has kept current.
    TocHeader h;
    h.decode(iv_Header, sizeof iv_Header);
    return h.dataFileSize;
}

ErrlEntry* DumpNodalSection::finishEntry(ErrlEntry* appended, uint32_t expectedEnd, bool hardwareItem) {
    int64_t end = fileEnd(*iv_DataFile);
    if (ErrlEntry* e = takeError(*iv_DataFile)) {
        if (!hardwareItem) {
            commit(appended);  // the measurement's failure is the one returned
            return passedAt(e, kSpDataEndFailed);
        }
        // Left open: a hardware item's data file that cannot be measured
        // after the append; the item ends where its bytes were to end.
        trace("DumpNodalSection: end of %s not measured, rc 0x%X", iv_DataFile->getFileName(), e->getRC());
        discard(e);
        end = expectedEnd;
    }
    TocHeader h;
    h.decode(iv_Header, sizeof iv_Header);
    h.dataFileSize = static_cast<uint32_t>(end);
    h.encode(iv_Header);
    if (appended) return hardwareItem ? passedAt(appended, kHwAppendFailed) : appended;

    h.entryCount += 1;
    h.totalSize = h.dataFileSize + TOC_HEADER_SIZE + h.entrySize * h.entryCount;
    h.encode(iv_Header);
    int64_t tocEnd = fileEnd(*iv_TOCFile);
    dropError(*iv_TOCFile, "seek to the end");
    if (tocEnd != static_cast<int64_t>(repair::tocLength(h.entrySize, h.entryCount)))
        trace("DumpNodalSection: %s ends at %lld, %u entries of %u", iv_TOCFile->getFileName(),
              static_cast<long long>(tocEnd), h.entryCount, h.entrySize);

    // The header now counts the entry; failures here are traced only.
    iv_TOCFile->seek(0, UtilStream::START);
    if (!dropError(*iv_TOCFile, "seek to the header")) {
        iv_TOCFile->write(iv_Header, TOC_HEADER_SIZE);
        dropError(*iv_TOCFile, "header write");
    }
    return nullptr;
}

ErrlEntry* DumpNodalSection::writeEntry(DumpSpTocEntry& entry, char* data) {
    if (iv_Type != SPDATA && iv_Type != SYSDATA)
        trace("DumpNodalSection: service-processor item in a section of type %d", iv_Type);
    if (!filesOpen()) return errorAt(kSpNotOpen, RC_FAILED, REASON_FILE);
    entry.dataOffset = dataFileEnd();
    uint8_t image[sp::SIZE];
    encodeEntry(entry, image);
    return finishEntry(appendEntry(image, sp::SIZE, data, entry.dataSize), entry.dataOffset + entry.dataSize,
                       false);
}

ErrlEntry* DumpNodalSection::writeEntry(DumpHwTocEntry& entry, orlaDataBuffer& data) {
    if (iv_Type != HWDATA) trace("DumpNodalSection: hardware item in a section of type %d", iv_Type);
    if (!filesOpen()) return errorAt(kHwNotOpen, RC_FAILED, REASON_FILE);
    uint32_t byteCount = data.getByteLength();
    int64_t spareBits = int64_t(byteCount) * kBitsPerByte - data.getBitLength();
    // A bit buffer's byte length is its bit length rounded up to whole
    // bytes, so 0 to 7 bits are spare; the check guards the entry's field.
    bool spareFits = spareBits >= 0 && spareBits <= hw::MAX_SPARE_BITS;  // GCOVR_EXCL_BR_LINE
    if (!spareFits)                                                      // GCOVR_EXCL_BR_LINE
        trace("DumpNodalSection: %u bytes hold %u bits", byteCount, data.getBitLength());  // GCOVR_EXCL_LINE

    std::vector<uint32_t> buffer((byteCount + sizeof(uint32_t) - 1) / sizeof(uint32_t));
    if (byteCount > 0) {
        uint32_t rc = data.memCopyOut(buffer.data(), byteCount);
        // The bit buffer's own return code is the entry's.
        if (rc != 0) return errorAt(kHwCopyOutFailed, static_cast<ReturnCode>(rc), REASON_COPY_OUT, byteCount);
    }
    entry.dataOffset = dataFileEnd();
    entry.dataSize = byteCount;
    if (spareFits)  // GCOVR_EXCL_BR_LINE: see above
        entry.hwWord4 = (entry.hwWord4 & ~hw::SPARE_BITS_MASK) |
                        (static_cast<uint32_t>(spareBits) << hw::SPARE_BITS_SHIFT);
    uint8_t image[hw::SIZE];
    encodeEntry(entry, image);
    return finishEntry(appendEntry(image, hw::SIZE, buffer.data(), byteCount), entry.dataOffset + byteCount, true);
}
