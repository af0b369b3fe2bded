// mdrt-damaged: the MDRT is the table of main-store regions a dump holds,
// 32-byte entries each giving a region's address and length, of which the
// offload takes the first mdrtFileSize bytes. Its length must be whole
// entries, no two regions may overlap, and for a dump with main store the
// regions must add up to the main store the summary records.
#include <algorithm>
#include <cstdint>
#include <optional>

#include "checks.h"
#include "decode/findings.h"
#include "decode/hypervisorSection.h"
#include "decode/summarySection.h"
#include "platform/bigEndian.h"
#include "platformSource.h"

namespace platdump {
namespace check {

namespace {

using namespace decode;

// Regions beyond these are not compared with each other.
constexpr uint64_t kMaxRegions = HypervisorSection::kMaxListed;

struct Region {
    uint64_t index, address, length;
};

std::string regionText(const Region& r) {
    return "region " + std::to_string(r.index) + " (" + num(r.length) + " bytes at " + hex(r.address, 16) + ")";
}

// The regions in the first tableBytes of the MDRT; none when it cannot be
// read.
std::optional<std::vector<Region>> readRegions(const StreamSource& mdrtFile, uint64_t tableBytes) {
    const uint64_t count = std::min(std::min(tableBytes, mdrtFile.size()) / mdrt::kEntryLength, kMaxRegions);
    std::vector<uint8_t> bytes(static_cast<size_t>(count * mdrt::kEntryLength));
    if (!mdrtFile.read(0, bytes.size(), bytes.data())) return std::nullopt;
    std::vector<Region> regions;
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* e = bytes.data() + i * mdrt::kEntryLength;
        regions.push_back(Region{i, be::getU64(e, mdrt::kAddress), be::getU32(e, mdrt::kLength)});
    }
    return regions;
}

// The first region that wraps past the end of the address space, and the
// first pair of regions that overlap, with how many do.
void checkPlacement(std::vector<Region> regions, const CheckedDump& d, const std::string& path, Report& report) {
    for (const Region& r : regions)
        if (r.length > 0 && r.address + r.length < r.address) {
            report.add(kMdrtDamaged, d.id, path, regionText(r) + " runs past the end of the address space");
            break;
        }
    regions.erase(std::remove_if(regions.begin(), regions.end(), [](const Region& r) { return r.length == 0; }),
                  regions.end());
    std::stable_sort(regions.begin(), regions.end(),
                     [](const Region& a, const Region& b) { return a.address < b.address; });
    size_t overlaps = 0;
    const Region* firstA = nullptr;
    const Region* firstB = nullptr;
    uint64_t reach = 0;  // the end of the regions so far, as far as the address space goes
    const Region* reacher = nullptr;
    for (const Region& r : regions) {
        if (reacher && r.address < reach) {
            if (++overlaps == 1) firstA = reacher, firstB = &r;
        }
        uint64_t end = r.address + r.length < r.address ? UINT64_MAX : r.address + r.length;
        if (!reacher || end > reach) reach = end, reacher = &r;
    }
    if (overlaps == 0) return;
    if (firstB->index < firstA->index) std::swap(firstA, firstB);
    std::string detail = regionText(*firstA) + " and " + regionText(*firstB) + " overlap";
    if (overlaps > 1) detail += ", and " + std::to_string(overlaps - 1) + " more regions overlap others";
    report.add(kMdrtDamaged, d.id, path, detail);
}

}  // namespace

void checkMdrt(const CheckedDump& d, Report& report) {
    const NamedFile* mdrtName = nullptr;
    for (const NamedFile& f : d.fileNames().files)
        if (f.role == FileRole::Mdrt) mdrtName = &f;
    if (!mdrtName || !UtilFile(mdrtName->path.c_str()).exists()) return;  // none, or file-missing
    const uint64_t tableBytes = mdrtName->recordedSize.value_or(0);
    if (tableBytes % mdrt::kEntryLength != 0)
        report.add(kMdrtDamaged, d.id, mdrtName->path,
                   "mdrtFileSize " + num(tableBytes) + " is no whole number of 32-byte entries: the offload ignores its last " +
                       num(tableBytes % mdrt::kEntryLength) + " bytes");
    std::string why;
    std::unique_ptr<PlatformFileSource> source = PlatformFileSource::open(mdrtName->path, why);
    std::optional<std::vector<Region>> regions = source ? readRegions(*source, tableBytes) : std::nullopt;
    if (!regions) {
        report.unreadable(source ? source->failure() : why);
        return;
    }
    checkPlacement(*regions, d, mdrtName->path, report);

    const uint16_t flags = be::getU16(d.image.data(), summaryfile::kSummaryRegion + summary::kDumpFlags);
    if (!(flags & kMainstoreDumpExistsFlag) || regions->size() >= kMaxRegions) return;
    uint64_t total = 0;
    for (const Region& r : *regions) total += r.length;
    const uint64_t recorded = be::getU64(d.image.data(), summaryfile::kSummaryRegion + summary::kMemoryDumpSize);
    if (total != recorded)
        report.add(kMdrtDamaged, d.id, mdrtName->path,
                   "its regions add up to " + num(total) + " bytes, the summary records " + num(recorded) +
                       " bytes of main store (memoryDumpSize)");
}

}  // namespace check
}  // namespace platdump
