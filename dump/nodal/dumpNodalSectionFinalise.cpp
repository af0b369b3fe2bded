// DumpNodalSection's destruction: the pair is checked against its header;
// after an interrupted writer the TOC is cut to whole entries and the
// items whose data never reached the data file are dropped from the end;
// then the data file is padded so that data + TOC length is a multiple of
// 16, and the final header is written. Every step can itself be
// interrupted: the next finalisation of the pair repairs it again.
#include <algorithm>
#include <vector>

#include "dump/nodal/nodalFiles.h"
#include "dump/nodal/nodalLayout.h"
#include "dump/nodal/nodalRepairRules.h"
#include "dump/support/dumpTrace.h"
#include "platdump/dumpNodalSection.h"
#include "platdump/dumpUtilFile.h"

using namespace dump;
using namespace dump::nodal;
using repair::tocLength;

namespace {

constexpr Site kFinalHeaderSeek{0x010F, 1};
constexpr Site kFinalHeaderWrite{0x010F, 2};
constexpr Site kPadFailed{0x010F, 3};
constexpr Site kPadSeek{0x0A0F, 0x11};
constexpr Site kPadWrite{0x0A0F, 0x12};
constexpr uint32_t kFinalHeaderWriteWord = 4;

void closeAndDelete(DumpUtilFile*& file) {
    if (!file) return;
    file->Close();
    file->clearError();
    delete file;
    file = nullptr;
}

}  // namespace

DumpNodalSection::~DumpNodalSection() {
    finalise();
    closeAndDelete(iv_TOCFile);
    closeAndDelete(iv_DataFile);
}

void DumpNodalSection::finalise() {
    if (!filesOpen()) {
        trace("DumpNodalSection: files not open, nothing to finalise");
        return;
    }
    TocHeader h;
    h.decode(iv_Header, sizeof iv_Header);
    const SectionKind* kind = sectionKind(iv_Type);
    if (h.headerSize != TOC_HEADER_SIZE)
        trace("DumpNodalSection: %s: header size %u", iv_TOCFile->getFileName(), h.headerSize);
    if (!kind || !repair::entriesJudgeable(h.entrySize, kind->entrySize)) {
        trace("DumpNodalSection: %s: entry size %u for type %d; left as it is", iv_TOCFile->getFileName(),
              h.entrySize, iv_Type);
        return;
    }
    int64_t tocEnd = fileEnd(*iv_TOCFile);
    int64_t dataEnd = fileEnd(*iv_DataFile);
    bool tocUnmeasured = dropError(*iv_TOCFile, "seek to the end");
    bool dataUnmeasured = dropError(*iv_DataFile, "seek to the end");
    // Left open: a pair whose length cannot be measured; it is not cut to
    // lengths nobody measured, and the next finalisation tries again.
    if (tocUnmeasured || dataUnmeasured) return;

    if (!repair::consistent(uint64_t(tocEnd), uint64_t(dataEnd), h.headerSize, h.entrySize, h.entryCount,
                            h.dataFileSize)) {
        trace("DumpNodalSection: %s: TOC %lld, data %lld; header: %u entries, data %u; repairing",
              iv_TOCFile->getFileName(), static_cast<long long>(tocEnd),
              static_cast<long long>(dataEnd), h.entryCount, h.dataFileSize);
        if (!repairTocLength(tocEnd) || !dropIncompleteItems(tocEnd, dataEnd)) return;
    }
    commit(passedAt(padDataFile(repair::padding(uint64_t(dataEnd), uint64_t(tocEnd))), kPadFailed));
    writeFinalHeader();
}

bool DumpNodalSection::repairTocLength(int64_t& tocEnd) {
    TocHeader h;
    h.decode(iv_Header, sizeof iv_Header);
    uint64_t described = repair::describedTocLength(h.headerSize, h.entrySize, h.entryCount);
    if (uint64_t(tocEnd) > described) {
        tocEnd = truncateAndReopen(*iv_TOCFile, tocLength(h.entrySize, h.entryCount));
        return tocEnd >= 0;
    }
    if (uint64_t(tocEnd) == described) return true;

    // Shorter: count the whole entries present (none in a TOC shorter than
    // a header) and say so in the header at once.
    h.entryCount = repair::wholeEntries(uint64_t(tocEnd), h.entrySize);
    h.encode(iv_Header);
    tocEnd = truncateAndReopen(*iv_TOCFile, tocLength(h.entrySize, h.entryCount));
    if (tocEnd < 0) return false;
    iv_TOCFile->seek(0, UtilStream::START);
    if (!dropError(*iv_TOCFile, "seek to the header")) {
        iv_TOCFile->writeDirect(iv_Header, TOC_HEADER_SIZE);
        dropError(*iv_TOCFile, "header write");
    }
    return true;
}

bool DumpNodalSection::dropIncompleteItems(int64_t& tocEnd, int64_t& dataEnd) {
    TocHeader h;
    h.decode(iv_Header, sizeof iv_Header);
    const SectionKind& kind = *sectionKind(iv_Type);
    std::vector<uint8_t> entry(h.entrySize);
    uint64_t kept = 0;
    for (; h.entryCount > 0; --h.entryCount) {
        // Left open: what an entry read that fails leaves to judge. Bytes
        // not read claim data beyond any file, so such an entry is dropped
        // like one whose data never arrived, and the one before is judged.
        std::fill(entry.begin(), entry.end(), 0xFF);
        iv_TOCFile->seek(int64_t(tocLength(h.entrySize, h.entryCount - 1)), UtilStream::START);
        uint32_t count = iv_TOCFile->read(entry.data(), h.entrySize);
        if (dropError(*iv_TOCFile, "entry read") || count != h.entrySize)
            trace("DumpNodalSection: entry %u of %s: read %u of %u bytes", h.entryCount - 1,
                  iv_TOCFile->getFileName(), count, h.entrySize);
        uint64_t end = entryDataEnd(kind, entry.data());
        if (repair::itemPresent(end, uint64_t(dataEnd))) {
            kept = end;
            break;
        }
        trace("DumpNodalSection: entry %u of %s ends at %llu beyond the data (%lld); dropped",
              h.entryCount - 1, iv_TOCFile->getFileName(), static_cast<unsigned long long>(end),
              static_cast<long long>(dataEnd));
    }
    h.encode(iv_Header);
    dataEnd = truncateAndReopen(*iv_DataFile, kept);
    if (dataEnd < 0) return false;
    tocEnd = truncateAndReopen(*iv_TOCFile, tocLength(h.entrySize, h.entryCount));
    return tocEnd >= 0;
}

ErrlEntry* DumpNodalSection::padDataFile(uint32_t count) {
    static const uint8_t zeros[SECTION_ALIGNMENT] = {};
    if (count == 0 || count >= SECTION_ALIGNMENT) return nullptr;
    iv_DataFile->seek(0, UtilStream::END);
    if (ErrlEntry* e = fileFailure(*iv_DataFile, kPadSeek, STEP_SEEK, count, "Seeking to File"))
        return e;
    iv_DataFile->writeDirect(zeros, count);
    return fileFailure(*iv_DataFile, kPadWrite, STEP_WRITE, count, "Seeking to File");
}

void DumpNodalSection::writeFinalHeader() {
    int64_t dataEnd = fileEnd(*iv_DataFile);
    if (dropError(*iv_DataFile, "seek to the end")) return;
    TocHeader h;
    h.decode(iv_Header, sizeof iv_Header);
    h.dataFileSize = static_cast<uint32_t>(dataEnd);
    h.totalSize = static_cast<uint32_t>(repair::describedTocLength(h.headerSize, h.entrySize, h.entryCount) +
                                        h.dataFileSize);
    h.encode(iv_Header);

    const char* path = iv_TOCFile->getFileName();
    iv_TOCFile->seek(0, UtilStream::START);
    if (ErrlEntry* e = takeError(*iv_TOCFile)) {
        commit(withDetails(receivedAt(e, kFinalHeaderSeek, REASON_FILE, STEP_SEEK),
                           "iv_TOCFile", path));
        return;
    }
    iv_TOCFile->writeDirect(iv_Header, TOC_HEADER_SIZE);
    if (ErrlEntry* e = takeError(*iv_TOCFile))
        commit(withDetails(passedAt(e, kFinalHeaderWrite, kFinalHeaderWriteWord), "iv_TOCFile", path));
}
