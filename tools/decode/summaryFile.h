// A dump's summary file as the repository keeps it: the file header region
// (208 bytes), the summary region (1024), the file-names region (3140,
// never offloaded) and the optional flattened SRC after them. The first two
// regions are decoded as the offload stream shows them (only the first
// fileHeaderSize bytes of the header region are offloaded), so finding
// offsets in them are stream offsets; the file-names region is decoded here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fileHeader.h"
#include "findings.h"
#include "streamSource.h"
#include "summarySection.h"

namespace decode {

namespace summaryfile {
constexpr uint64_t kHeaderRegion = 0, kHeaderRegionLength = 208;
constexpr uint64_t kSummaryRegion = 208;
constexpr uint64_t kFileNamesRegion = 1232, kFileNamesRegionLength = 3140;
constexpr uint64_t kLength = 4372;  // the flattened SRC, if any, follows
}  // namespace summaryfile

// Offsets inside the file-names region.
namespace filenames {
constexpr size_t kSlots = 10;
constexpr size_t kNameWidth = 64;
constexpr size_t kHwTocName = 0, kHwTocSize = 640;
constexpr size_t kHwDataName = 680, kHwDataSize = 1320;
constexpr size_t kSpTocName = 1360, kSpTocSize = 2000;
constexpr size_t kSpDataName = 2040, kSpDataSize = 2680;
constexpr size_t kSysTocName = 2720, kSysTocSize = 2784;
constexpr size_t kSysDataName = 2788, kSysDataSize = 2852;
constexpr size_t kMdrtName = 2856, kMdrtSize = 2920;
constexpr size_t kMdstName = 2924, kMdstSize = 2988;
constexpr size_t kResourceName = 2992;
constexpr size_t kSummaryName = 3056;
constexpr size_t kTceErrorCount = 3120;
constexpr size_t kDmaErrorCount = 3124;
constexpr size_t kPrivateFlags = 3128;
constexpr size_t kTotalHdctItemCount = 3132;
constexpr size_t kFinishedHdctItemCount = 3136;
}  // namespace filenames

// What a name slot holds: a nodal file of a node group (slot index 0 to
// 9) or of the system section, or one of the single files.
enum class FileRole { HwToc, HwData, SpToc, SpData, SysToc, SysData, Mdrt, Mdst, Resource };

// One non-empty name slot of the file-names region.
struct NamedFile {
    std::string field;  // "hwTocFileName[3]", "sysDataFileName", "mdrtFileName", ...
    std::string name;   // up to the first NUL, as readable text (Record::text's rule)
    std::string path;   // the same bytes as they stand: the path the library opens
    FileRole role = FileRole::HwToc;
    size_t index = 0;   // the slot index of a node group's file; 0 for the others
    std::optional<uint32_t> recordedSize;  // the size beside the name; none for the resource file
};

struct FileNamesRegion {
    std::vector<NamedFile> files;  // in the order the offload stream takes them, then MDRT, MDST, resource
    std::string summaryFileName;
    std::string summaryFilePath;  // summaryFileName's bytes as they stand
    uint32_t tceErrorCount = 0;
    uint32_t dmaErrorCount = 0;
    uint32_t privateFlags = 0;
    uint32_t totalHdctItemCount = 0;
    uint32_t finishedHdctItemCount = 0;
};

struct SummaryFile {
    uint64_t size = 0;  // bytes in the file
    FileHeader header;
    std::optional<SummarySection> summary;
    std::optional<FileNamesRegion> fileNames;
    uint64_t flattenedSrcLength = 0;  // bytes after the three regions
    Findings findings;
};

// Decodes a summary file (source: its bytes). A file shorter than its three
// regions is decoded as far as it goes and reported.
SummaryFile decodeSummaryFile(const StreamSource& source);

}  // namespace decode
