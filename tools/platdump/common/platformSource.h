// Files of the service processor as decode::StreamSource, read in place
// through the platform, never written: this processor's files through
// UtilFile, the backup service processor's copies through the redundancy
// manager's read-only view of them. A source owns what it opened.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "decode/streamSource.h"
#include "platform/utilFile.h"

namespace platdump {

class PlatformFileSource : public decode::StreamSource {
public:
    // Null, with why set, when path does not exist or cannot be opened.
    static std::unique_ptr<PlatformFileSource> open(const std::string& path, std::string& why);
    uint64_t size() const override { return iv_size; }
    bool read(uint64_t offset, size_t length, uint8_t* out) const override;
    // Why the latest read failed.
    const std::string& failure() const { return iv_failure; }

private:
    explicit PlatformFileSource(const std::string& path) : iv_file(path.c_str()) {}
    mutable UtilFile iv_file;
    uint64_t iv_size = 0;
    mutable std::string iv_failure;
};

class BackupFileSource : public decode::StreamSource {
public:
    // Null when the backup holds no copy of path (why stays empty) or when
    // the copy cannot be measured (why set).
    static std::unique_ptr<BackupFileSource> open(const std::string& path, std::string& why);
    uint64_t size() const override { return iv_size; }
    bool read(uint64_t offset, size_t length, uint8_t* out) const override;
    const std::string& failure() const { return iv_failure; }

private:
    BackupFileSource(const std::string& path, uint64_t size) : iv_path(path), iv_size(size) {}
    std::string iv_path;
    uint64_t iv_size;
    mutable std::string iv_failure;
};

// Reads up to limit bytes from the start of source into bytes; false when
// the medium fails.
bool readPrefix(const decode::StreamSource& source, uint64_t limit, std::vector<uint8_t>& bytes);

}  // namespace platdump
