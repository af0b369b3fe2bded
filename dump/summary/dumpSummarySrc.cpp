// The dump's reference code (SRC). Its whole flattened image lies in the
// summary file after the three regions (offset 4372 to the end of the
// file), its first 332 bytes also in the summary's dumpSrc field, which is
// offloaded. The object caches one SRC, which it owns and hands out.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dump/summary/summaryLayout.h"
#include "dump/summary/summaryLockHold.h"
#include "dump/support/dumpTrace.h"
#include "dump/support/mountPoint.h"
#include "dump/support/report.h"
#include "platdump/dumpSummary.h"
#include "platdump/dumpUtilFile.h"
#include "platform/errlEntry.h"
#include "platform/srciSrc.h"

using namespace dump;
using namespace dump::layout;

namespace {

constexpr Site kUnflatten{0x0D13, 4};

// Takes a file's pending error, tracing what failed; true when there was
// one.
bool failed(UtilStream& file, const char* what, const std::string& path) {
    ErrlEntry* e = takeError(file);
    if (!e) return false;
    trace("DumpSummary: %s of %s failed, rc 0x%X", what, path.c_str(), e->getRC());
    discard(e);
    return true;
}

std::string temporarySrcPath(unsigned int id) {
    char path[2 * names::NAME_WIDTH];
    std::snprintf(path, sizeof path, "%s/flatsrc.%08x.tmp", kMountPoint, id);
    // The id has a fixed width: the name always fits.
    if (std::strlen(path) > names::NAME_MAX_LENGTH) trace("DumpSummary: path %s too long", path);  // GCOVR_EXCL_BR_LINE
    return path;
}

// The SRC's image as the platform flattens it into a stream, through a
// local temporary file that is removed again. Every step runs whatever the
// step before did; false when any of them failed, the image then being
// unusable.
bool flattenThroughFile(const SrciSrc& src, const std::string& path, std::vector<uint8_t>& image) {
    const uint32_t size = src.flattenedSize();
    image.assign(size, 0);
    UtilFile tmp(path.c_str());
    tmp.Open("w+", false);
    bool ok = !failed(tmp, "open", path);
    if (src.flatten(tmp) != 0) {
        failed(tmp, "flatten", path);
        trace("DumpSummary: flatten into %s failed", path.c_str());
        ok = false;
    }
    int64_t end = tmp.seek(0, UtilStream::END);
    if (end != static_cast<int64_t>(size)) trace("DumpSummary: %s ends at %lld, not %u", path.c_str(),
                                                 static_cast<long long>(end), size);
    tmp.seek(0, UtilStream::START);
    uint32_t count = tmp.read(image.data(), size);
    if (failed(tmp, "read back", path) || count != size) {
        trace("DumpSummary: read %u of %u bytes back from %s", count, size, path.c_str());
        ok = false;
    }
    tmp.Close();
    failed(tmp, "close", path);
    tmp.Remove();
    failed(tmp, "remove", path);
    return ok;
}

}  // namespace

ErrlEntry* DumpSummary::SaveFlattenedSRC(SrciSrc& src) {
    if (!iv_file) trace("DumpSummary: dump 0x%08X has no summary file for its SRC", iv_dumpId);
    trace("DumpSummary: save the SRC of dump 0x%08X", iv_dumpId);
    delete iv_cachedSrc;
    iv_cachedSrc = new SrciSrc(src);

    std::vector<uint8_t> flat;
    const uint32_t size = iv_cachedSrc->flattenedSize();
    if (!flattenThroughFile(*iv_cachedSrc, temporarySrcPath(iv_dumpId), flat)) {
        // Never a partial image: the same bytes straight from the SRC.
        trace("DumpSummary: SRC image of dump 0x%08X taken from the SRC itself", iv_dumpId);
        iv_cachedSrc->flattenTo(flat.data());
    }

    setDumpSRCSize(size);
    setDumpSRC(reinterpret_cast<char*>(flat.data()), size);
    if (!iv_file) return nullptr;
    SummaryLockHold hold(*this);
    const std::string path = iv_file->getFileName();
    iv_file->seek(FLATTENED_SRC_OFFSET, UtilStream::START);
    failed(*iv_file, "seek to the SRC", path);
    uint32_t count = iv_file->write(flat.data(), size);
    if (failed(*iv_file, "write of the SRC", path) || count != size)
        trace("DumpSummary: wrote %u of %u SRC bytes to %s", count, size, path.c_str());
    return nullptr;
}

SrciSrc* DumpSummary::getSrc() {
    if (iv_cachedSrc) return iv_cachedSrc;
    if (!iv_file) return nullptr;
    if (be::getU16(reread(SUMMARY_REGION), sum::DUMP_SRC_SIZE) == 0) return nullptr;

    const std::string path = iv_file->getFileName();
    int64_t end = iv_file->seek(0, UtilStream::END);
    failed(*iv_file, "seek to the end", path);
    if (end == FLATTENED_SRC_OFFSET) return nullptr;
    if (end < FLATTENED_SRC_OFFSET) trace("DumpSummary: %s is %lld bytes, SRC read all the same", path.c_str(),
                                          static_cast<long long>(end));

    std::unique_ptr<SrciSrc> src(new SrciSrc);
    UtilFile file(path.c_str());
    file.Open("r+", false);
    failed(file, "open", path);
    file.seek(FLATTENED_SRC_OFFSET, UtilStream::START);
    int result = src->unflatten(file);
    file.Close();
    failed(file, "read of the SRC", path);
    if (result != 0) {
        commit(errorAt(kUnflatten, RC_SRC_UNREADABLE, REASON_SRC_UNREADABLE, static_cast<uint32_t>(result)));
        return nullptr;
    }
    iv_cachedSrc = src.release();
    trace("DumpSummary: SRC %s of dump 0x%08X read", iv_cachedSrc->getAsciiString().c_str(), iv_dumpId);
    return iv_cachedSrc;
}
