#include "mirrorSync.h"

#include <algorithm>

#include "errorReport.h"
#include "platdump/dumpTypes.h"
#include "platform/errlEntry.h"
#include "platform/rmgr.h"
#include "platform/utilFile.h"

namespace platdump {
namespace mirror {

namespace {

// The bytes of one chunk sync, as the library's own writes mirror them.
constexpr uint64_t kSyncPiece = 128u << 10;

std::string failed(const char* call, ErrlEntry* e) {
    std::string text = std::string(call) + " failed: " + briefError(*e);
    delete e;
    return text;
}

// [from, to) of the file here to the backup's copy (created when missing;
// an empty range creates an empty copy).
std::string copyRange(const std::string& path, uint64_t from, uint64_t to) {
    uint64_t at = from;
    do {
        const uint32_t n = static_cast<uint32_t>(std::min(kSyncPiece, to - at));
        if (ErrlEntry* e = rmgrSyncFileChunk(DUMP_COMPONENT_ID, path.c_str(), at, n))
            return failed("rmgrSyncFileChunk", e);
        at += n;
    } while (at < to);
    return "";
}

std::string deleteCopy(const std::string& path) {
    ErrlEntry* e = rmgrDeleteFile(DUMP_COMPONENT_ID, path.c_str());
    return e ? failed("rmgrDeleteFile", e) : "";
}

}  // namespace

std::string bringInLine(const Difference& d) {
    switch (d.remedy) {
        case Remedy::Create: return copyRange(d.path, 0, d.length);
        case Remedy::Replace: {
            std::string why = deleteCopy(d.path);
            return why.empty() ? copyRange(d.path, 0, d.length) : why;
        }
        case Remedy::Delete:
            // A file created here since it was compared is the library's
            // to mirror: its copy stays, and the next round compares it.
            if (UtilFile(d.path.c_str()).exists()) return "it has appeared here since; compared again";
            return deleteCopy(d.path);
        default: return copyRange(d.path, d.offset, d.offset + d.length);
    }
}

}  // namespace mirror
}  // namespace platdump
