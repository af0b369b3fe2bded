// The file block: a repository file read through the platform's file
// object, opened, positioned, read and closed on every request.
#include <cstdint>

#include "dump/support/dumpTrace.h"
#include "dump/support/report.h"
#include "platdump/dumpDataBlock.h"
#include "platdump/dumpErrl.h"
#include "platdump/dumpTypes.h"
#include "platdump/dumpUsrData.h"
#include "platdump/dumpUtilFile.h"
#include "platform/utilFile.h"

namespace {

// One reporting point per file step of getData.
constexpr uint16_t kModule = 0x011E;
constexpr dump::Site kOpenFailed = {kModule, 1};
constexpr dump::Site kSeekFailed = {kModule, 2};
constexpr dump::Site kReadFailed = {kModule, 3};
constexpr dump::Site kCloseFailed = {kModule, 4};

const char* nameOf(uint64_t location) {
    return reinterpret_cast<const char*>(static_cast<uintptr_t>(location));
}

// The error a file step left in the file object, if any, with the step's
// call point and the request (buffer address, length, offset) as a section.
ErrlEntry* stepFailed(UtilFile& file, dump::Site site, uint32_t offset, uint32_t length,
                      const char* buffer) {
    if (!file.hasError()) return nullptr;
    ErrlEntry* entry = dump::takeError(file);
    dump::trace("DumpDataBlockFile::getData: file step %u failed", site.location);
    dump::passedAt(entry, site);
    uint32_t bufferAddress = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(buffer));
    dumpAddDetails(DumpBufferDataInfo(DUMP_COMPONENT_ID, bufferAddress, length, 0, offset), entry);
    return entry;
}

}  // namespace

DumpDataBlockFile::DumpDataBlockFile(unsigned int size, char* fileName)
    : DumpDataBlock(size, reinterpret_cast<uintptr_t>(fileName), BLOCK_FILE) {}

DumpDataBlockFile::~DumpDataBlockFile() = default;

ErrlEntry* DumpDataBlockFile::getData(uint32_t offset, uint32_t length, char* buffer,
                                      dumpDMAEhandle*) const {
    UtilFile file(nameOf(iv_Location));
    dump::trace("virtual ErrlEntry* DumpDataBlockFile::getData(uint32_t, uint32_t, char*, "
                "dumpDMAEhandle*) const: %s offset %u length %u buffer %p",
                nameOf(iv_Location), offset, length, static_cast<void*>(buffer));
    auto failed = [&](dump::Site site) { return stepFailed(file, site, offset, length, buffer); };
    file.Open("r+", false);
    if (ErrlEntry* e = failed(kOpenFailed)) return e;
    file.seek(offset, UtilStream::START);
    if (ErrlEntry* e = failed(kSeekFailed)) return e;
    uint32_t got = file.read(buffer, length);
    dump::trace("DumpDataBlockFile::getData: read %u of %u bytes", got, length);
    if (ErrlEntry* e = failed(kReadFailed)) return e;
    file.Close();
    return failed(kCloseFailed);
}

ErrlEntry* DumpDataBlockFile::remove() const { return DumpUtilFile::remove(nameOf(iv_Location)); }
