// Where the decoder reads an offloaded dump stream from: a bounded,
// random-access byte source. The decoder asks only for ranges that lie
// inside size(); read() still refuses any other range, and a false result
// otherwise means the medium failed. The decoder never holds more of the
// stream than one fixed record or table at a time, so a stream with
// gigabytes of main store decodes in little memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace decode {

class StreamSource {
public:
    virtual ~StreamSource() = default;
    virtual uint64_t size() const = 0;
    // Copies length bytes at offset to out; false when the range is not
    // wholly inside the stream or the bytes cannot be read.
    virtual bool read(uint64_t offset, size_t length, uint8_t* out) const = 0;

protected:
    bool inside(uint64_t offset, size_t length) const {
        return offset <= size() && length <= size() - offset;
    }
};

// A stream held in memory by the caller, who keeps the bytes alive while
// the source is used.
class MemorySource : public StreamSource {
public:
    MemorySource(const uint8_t* bytes, size_t size) : iv_bytes(bytes), iv_size(size) {}
    uint64_t size() const override { return iv_size; }
    bool read(uint64_t offset, size_t length, uint8_t* out) const override;

private:
    const uint8_t* iv_bytes;
    size_t iv_size;
};

// An offloaded dump file, read in place. The source owns the descriptor.
class FileSource : public StreamSource {
public:
    // Null, with error set to the reason, when the file cannot be opened.
    static std::unique_ptr<FileSource> open(const std::string& path, std::string& error);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    uint64_t size() const override { return iv_size; }
    bool read(uint64_t offset, size_t length, uint8_t* out) const override;

private:
    FileSource(int fd, uint64_t size) : iv_fd(fd), iv_size(size) {}
    int iv_fd;
    uint64_t iv_size;
};

}  // namespace decode
