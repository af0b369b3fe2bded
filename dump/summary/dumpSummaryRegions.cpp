// The region primitives of DumpSummary and the update protocol every setter
// follows: under the summary lock, re-read one region, change its image,
// write it back whole. Reads and writes move whole regions only. An update
// whose re-read or write does not move the whole region is reported.
#include "dump/summary/summaryLayout.h"
#include "dump/support/dumpTrace.h"
#include "dump/support/report.h"
#include "platdump/dumpSummary.h"
#include "platdump/dumpUtilFile.h"

using namespace dump;

namespace {

constexpr Site kUpdateNotRead{0x0F13, 1};
constexpr Site kUpdateNotWritten{0x0F13, 2};
constexpr uint32_t RC_NOT_UPDATED = 1;
constexpr uint16_t REASON_SUMMARY = 0xF00B;
constexpr char kDetailsKey[] = "Dump Summary Header file";

struct RegionPlace {
    uint32_t offset;
    uint32_t size;
    const char* name;
};

const RegionPlace kPlaces[] = {
    {layout::FILE_HEADER_OFFSET, layout::FILE_HEADER_SIZE, "file header"},
    {layout::SUMMARY_OFFSET, layout::SUMMARY_SIZE, "summary"},
    {layout::FILE_NAMES_OFFSET, layout::FILE_NAMES_SIZE, "file names"},
};

// A short count or a pending file error is only traced; the pending error
// stays where it is.
void noteTransfer(const DumpUtilFile& file, const RegionPlace& place, const char* what,
                  uint32_t count) {
    if (count != place.size || file.hasError())
        trace("DumpSummary: %s of the %s of %s: %u of %u bytes%s", what, place.name,
              file.getFileName(), count, place.size, file.hasError() ? ", error pending" : "");
}

// Positions the file at the region; false, traced and with the seek's
// error left pending, when it cannot.
bool seekTo(DumpUtilFile& file, const RegionPlace& place) {
    if (file.seek(place.offset, UtilStream::START) == static_cast<int64_t>(place.offset)) return true;
    trace("DumpSummary: seek to the %s of %s failed, nothing moved", place.name, file.getFileName());
    return false;
}

}  // namespace

uint8_t* DumpSummary::image(region_t region) {
    switch (region) {  // GCOVR_EXCL_BR_LINE: no value outside the enum's three
        case FILE_HEADER_REGION: return iv_image.fileHeader;
        case SUMMARY_REGION: return iv_image.summary;
        case FILE_NAMES_REGION: break;
    }
    return iv_image.fileNames;
}

uint32_t DumpSummary::readRegion(region_t region) {
    if (!iv_file) return 0;
    const RegionPlace& place = kPlaces[region];
    // After a failed seek the bytes at the file's position are another
    // region's: nothing is read, and the image stays as it was.
    if (!seekTo(*iv_file, place)) return 0;
    uint32_t count = iv_file->read(image(region), place.size);
    noteTransfer(*iv_file, place, "read", count);
    return count;
}

uint32_t DumpSummary::writeRegion(region_t region) {
    if (!iv_file) return 0;
    const RegionPlace& place = kPlaces[region];
    // After a failed seek the image would land on another region.
    if (!seekTo(*iv_file, place)) return 0;
    uint32_t count = iv_file->writeDirect(image(region), place.size);
    noteTransfer(*iv_file, place, "write", count);
    return count;
}

const uint8_t* DumpSummary::reread(region_t region) {
    readRegion(region);
    return image(region);
}

bool DumpSummary::updateStep(region_t region, uint32_t moved, bool written) {
    const RegionPlace& place = kPlaces[region];
    if (moved == place.size) return true;
    if (!iv_file) return false;
    const Site site = written ? kUpdateNotWritten : kUpdateNotRead;
    ErrlEntry* e = takeError(*iv_file);
    e = e ? receivedAt(e, site, REASON_SUMMARY, place.offset, moved, iv_dumpId)
          : errorAt(site, RC_NOT_UPDATED, REASON_SUMMARY, place.offset, moved, iv_dumpId);
    commit(withDetails(e, kDetailsKey, iv_file->getFileName()));
    return false;
}

void DumpSummary::updateRegion(region_t region, const std::function<bool(uint8_t*)>& change) {
    lockExclusive();
    // A region that was not re-read is not written back: its image may
    // lack what other processes changed since.
    if (updateStep(region, readRegion(region), false) && change(image(region)))
        updateStep(region, writeRegion(region), true);
    unlockExclusive();
}

uint32_t DumpSummary::ReadFileHeader() { return readRegion(FILE_HEADER_REGION); }
uint32_t DumpSummary::ReadSummary() { return readRegion(SUMMARY_REGION); }
uint32_t DumpSummary::ReadFileNames() { return readRegion(FILE_NAMES_REGION); }
uint32_t DumpSummary::writeFileHeader() { return writeRegion(FILE_HEADER_REGION); }
uint32_t DumpSummary::writeSummary() { return writeRegion(SUMMARY_REGION); }
uint32_t DumpSummary::writeFileNames() { return writeRegion(FILE_NAMES_REGION); }
