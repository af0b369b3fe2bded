// The files a summary names: where they lie, whether they are there, and
// for a complete dump whether the sizes the summary records are those of
// the files and of each other, as the last flush left them (it measures
// every named nodal file and derives the section and total sizes from the
// recorded sizes).
#include <optional>

#include "checks.h"
#include "decode/fileHeader.h"
#include "decode/findings.h"
#include "decode/summarySection.h"
#include "dumpAccess.h"
#include "platdump/dumpCollections.h"
#include "platform/bigEndian.h"
#include "platform/utilFile.h"

namespace platdump {
namespace check {

namespace {

using namespace decode;

constexpr uint32_t kSummarySectionBytes = 1024;  // hwDumpTotalSize counts it

// "hwTocFileSize[2]" beside "hwTocFileName[2]".
std::string sizeField(const NamedFile& f) {
    std::string field = f.field;
    size_t at = field.find("FileName");
    if (at != std::string::npos) field.replace(at, 8, "FileSize");
    return field;
}

uint16_t summaryU16(const CheckedDump& d, size_t rel) { return be::getU16(d.image.data(), summaryfile::kSummaryRegion + rel); }
uint32_t summaryU32(const CheckedDump& d, size_t rel) { return be::getU32(d.image.data(), summaryfile::kSummaryRegion + rel); }
uint64_t summaryU64(const CheckedDump& d, size_t rel) { return be::getU64(d.image.data(), summaryfile::kSummaryRegion + rel); }
uint32_t namesU32(const CheckedDump& d, size_t rel) { return be::getU32(d.image.data(), summaryfile::kFileNamesRegion + rel); }
uint64_t sectionSize(const CheckedDump& d, size_t section) {
    return be::getU64(d.image.data(), filehdr::kLength + section * sectionhdr::kLength + sectionhdr::kSize);
}

void expectRecorded(const CheckedDump& d, Report& report, const std::string& field, uint64_t recorded,
                    const std::string& source, uint64_t expected) {
    if (recorded == expected) return;
    report.add(kSizeMismatch, d.id, d.summaryPath, field + " records " + num(recorded) + ", " + source + " give " + num(expected));
}

// The derived sizes against the recorded sizes of every nodal slot (an
// empty slot keeps the size it had) and the main-store sizes.
void checkDerivedSizes(const CheckedDump& d, Report& report) {
    using namespace filenames;
    uint32_t dataBytes = 0, allBytes = 0;
    for (size_t i = 0; i < kSlots; ++i) {
        const uint32_t hwToc = namesU32(d, kHwTocSize + 4 * i), hwData = namesU32(d, kHwDataSize + 4 * i);
        const uint32_t spToc = namesU32(d, kSpTocSize + 4 * i), spData = namesU32(d, kSpDataSize + 4 * i);
        dataBytes += hwData + spData;
        allBytes += hwToc + hwData + spToc + spData;
    }
    dataBytes += namesU32(d, kSysDataSize);
    allBytes += namesU32(d, kSysTocSize) + namesU32(d, kSysDataSize);
    const uint32_t hwTotal = kSummarySectionBytes + allBytes;
    const uint64_t mainStore = summaryU64(d, summary::kMemoryDumpSize);
    const uint32_t mdrtTable = summaryU32(d, summary::kMdrtTableSize);

    expectRecorded(d, report, "nodalDataSize", summaryU32(d, summary::kNodalDataSize),
                   "the recorded sizes of the nodal data files", dataBytes);
    expectRecorded(d, report, "sectionSize of the hardware data section", sectionSize(d, kHardwareSection),
                   "the recorded sizes of the nodal files", allBytes);
    expectRecorded(d, report, "hwDumpTotalSize", summaryU32(d, summary::kHwDumpTotalSize),
                   "1024 and the recorded sizes of the nodal files", hwTotal);
    expectRecorded(d, report, "sectionSize of the hypervisor data section", sectionSize(d, kHypervisorSection),
                   "memoryDumpSize and mdrtTableSize", mainStore + mdrtTable);
    expectRecorded(d, report, "totalDumpSize", summaryU64(d, summary::kTotalDumpSize),
                   "hwDumpTotalSize, mdrtTableSize and memoryDumpSize", uint64_t(uint32_t(hwTotal + mdrtTable)) + mainStore);
}

// The MDRT block the stream takes (mdrtFileSize bytes) against the length
// the hypervisor section's size counts (mdrtTableSize).
void checkMdrtSizes(const CheckedDump& d, Report& report) {
    if (!(summaryU16(d, summary::kDumpFlags) & kMainstoreDumpExistsFlag)) return;
    for (const NamedFile& f : d.fileNames().files)
        if (f.role == FileRole::Mdrt && f.recordedSize)
            expectRecorded(d, report, "mdrtTableSize", summaryU32(d, summary::kMdrtTableSize), "mdrtFileSize, the MDRT offloaded,",
                           *f.recordedSize);
}

}  // namespace

void checkNamedFiles(const CheckedDump& d, Report& report) {
    const bool complete = d.complete();
    for (const NamedFile& f : d.fileNames().files) {
        // Deleting the dump removes every file it names but its MDST file.
        if (f.role != FileRole::Mdst && !inRepository(f.path))
            report.add(kNameOutsideRepository, d.id, f.path,
                       f.field + " names a file outside " + DumpCollections::MOUNT_POINT +
                           ": deleting the dump would remove it");
        if (!UtilFile(f.path.c_str()).exists()) {
            report.add(kFileMissing, d.id, f.path, f.field + " names it, and it does not exist");
            continue;
        }
        if (!complete || !f.recordedSize) continue;
        std::optional<uint64_t> now = repositoryFileSize(f.path);
        if (!now) {
            report.unreadable(f.name + " cannot be opened");
            continue;
        }
        if (*now != *f.recordedSize)
            report.add(kSizeMismatch, d.id, f.path,
                       sizeField(f) + " records " + num(*f.recordedSize) + " bytes, the file has " + num(*now));
    }
    if (!complete) return;
    checkDerivedSizes(d, report);
    checkMdrtSizes(d, report);
}

}  // namespace check
}  // namespace platdump
