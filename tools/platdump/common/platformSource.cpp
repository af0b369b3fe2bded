#include "platformSource.h"

#include <algorithm>
#include <vector>

#include "errorReport.h"
#include "platdump/dumpTypes.h"
#include "platform/errlEntry.h"
#include "platform/rmgr.h"

namespace platdump {

namespace {

// Larger reads go to the platform in pieces of this size.
constexpr size_t kPiece = 1u << 20;

// The entry as one line; the entry is deleted.
std::string consumed(ErrlEntry* e) {
    std::string text = e ? briefError(*e) : "no error log";
    delete e;
    return text;
}

}  // namespace

std::unique_ptr<PlatformFileSource> PlatformFileSource::open(const std::string& path, std::string& why) {
    std::unique_ptr<PlatformFileSource> source(new PlatformFileSource(path));
    if (!source->iv_file.exists()) {
        why = path + " does not exist";
        return nullptr;
    }
    source->iv_file.Open("r");
    if (source->iv_file.hasError()) {
        why = path + " cannot be opened: " + consumed(source->iv_file.takeError());
        return nullptr;
    }
    source->iv_size = source->iv_file.size();
    return source;
}

bool PlatformFileSource::read(uint64_t offset, size_t length, uint8_t* out) const {
    if (!inside(offset, length)) return false;
    if (iv_file.seek(static_cast<int64_t>(offset), UtilStream::START) < 0) {
        iv_failure = std::string(iv_file.getFileName()) + " cannot be read: " + consumed(iv_file.takeError());
        return false;
    }
    for (size_t done = 0; done < length;) {
        uint32_t want = static_cast<uint32_t>(std::min(kPiece, length - done));
        uint32_t got = iv_file.read(out + done, want);
        if (iv_file.hasError() || got == 0) {
            iv_failure = std::string(iv_file.getFileName()) + " cannot be read at offset " +
                         std::to_string(offset + done) + ": " + consumed(iv_file.takeError());
            return false;
        }
        done += got;
    }
    return true;
}

std::unique_ptr<BackupFileSource> BackupFileSource::open(const std::string& path, std::string& why) {
    bool exists = false;
    uint64_t size = 0;
    if (ErrlEntry* e = rmgrBackupFileSize(DUMP_COMPONENT_ID, path.c_str(), exists, size)) {
        why = "the backup's copy of " + path + " cannot be measured: " + consumed(e);
        return nullptr;
    }
    if (!exists) return nullptr;
    return std::unique_ptr<BackupFileSource>(new BackupFileSource(path, size));
}

bool BackupFileSource::read(uint64_t offset, size_t length, uint8_t* out) const {
    if (!inside(offset, length)) return false;
    for (size_t done = 0; done < length;) {
        uint32_t want = static_cast<uint32_t>(std::min(kPiece, length - done));
        uint32_t got = 0;
        ErrlEntry* e = rmgrReadBackupFile(DUMP_COMPONENT_ID, iv_path.c_str(), offset + done, want, out + done, got);
        if (e || got == 0) {
            iv_failure = "the backup's copy of " + iv_path + " cannot be read at offset " +
                         std::to_string(offset + done) + ": " + consumed(e);
            return false;
        }
        done += got;
    }
    return true;
}

bool readPrefix(const decode::StreamSource& source, uint64_t limit, std::vector<uint8_t>& bytes) {
    bytes.assign(static_cast<size_t>(std::min(source.size(), limit)), 0);
    return source.read(0, bytes.size(), bytes.data());
}

}  // namespace platdump
