// The region primitives of DumpSummary and the update protocol every setter
// follows: under the summary lock, re-read one region, change its image,
// write it back whole. Each primitive seeks, then transfers; a failed seek
// or a short transfer is traced only and the caller goes on with the image
// as it then is.
#include "dump/summary/summaryLayout.h"
#include "dump/support/dumpTrace.h"
#include "platdump/dumpSummary.h"
#include "platdump/dumpUtilFile.h"

using namespace dump;

namespace {

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
// stays where it is. (The tracing is apart, so that the check is inlined.)
void traceShortTransfer(const DumpUtilFile& file, const RegionPlace& place, const char* what,
                        uint32_t count) {
    trace("DumpSummary: %s of the %s of %s: %u of %u bytes%s", what, place.name,
          file.getFileName(), count, place.size, file.hasError() ? ", error pending" : "");
}
inline void noteTransfer(const DumpUtilFile& file, const RegionPlace& place, const char* what,
                         uint32_t count) {
    if (count != place.size || file.hasError()) traceShortTransfer(file, place, what, count);
}

void traceFailedSeek(const DumpUtilFile& file, const RegionPlace& place) {
    trace("DumpSummary: seek to the %s of %s failed", place.name, file.getFileName());
}
// Positions the file at the region. A seek that fails is traced and its
// error left pending; the transfer follows all the same.
inline void seekTo(DumpUtilFile& file, const RegionPlace& place) {
    if (file.seek(place.offset, UtilStream::START) != static_cast<int64_t>(place.offset))
        traceFailedSeek(file, place);
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
    seekTo(*iv_file, place);
    uint32_t count = iv_file->read(image(region), place.size);
    noteTransfer(*iv_file, place, "read", count);
    return count;
}

uint32_t DumpSummary::writeRegion(region_t region) {
    if (!iv_file) return 0;
    const RegionPlace& place = kPlaces[region];
    seekTo(*iv_file, place);
    uint32_t count = iv_file->writeDirect(image(region), place.size);
    noteTransfer(*iv_file, place, "write", count);
    return count;
}

const uint8_t* DumpSummary::reread(region_t region) {
    readRegion(region);
    return image(region);
}

void DumpSummary::updateRegion(region_t region, const std::function<bool(uint8_t*)>& change) {
    lockExclusive();
    readRegion(region);
    if (change(image(region))) writeRegion(region);
    unlockExclusive();
}

uint32_t DumpSummary::ReadFileHeader() { return readRegion(FILE_HEADER_REGION); }
uint32_t DumpSummary::ReadSummary() { return readRegion(SUMMARY_REGION); }
uint32_t DumpSummary::ReadFileNames() { return readRegion(FILE_NAMES_REGION); }
uint32_t DumpSummary::writeFileHeader() { return writeRegion(FILE_HEADER_REGION); }
uint32_t DumpSummary::writeSummary() { return writeRegion(SUMMARY_REGION); }
uint32_t DumpSummary::writeFileNames() { return writeRegion(FILE_NAMES_REGION); }
