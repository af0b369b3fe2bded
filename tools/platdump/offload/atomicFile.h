// A host file written whole or not at all: the bytes go to a temporary file
// in the target's directory, which is renamed to the final name only when
// complete. Until then the final name keeps what it held before (or stays
// absent); a failure, the object's destruction before commit, or an
// interrupting signal (SIGINT, SIGTERM, SIGHUP, SIGPIPE) removes the
// temporary file. One AtomicFile is open at a time in a process.
#pragma once

#include <cstddef>
#include <string>

namespace platdump {

class AtomicFile {
public:
    explicit AtomicFile(std::string finalPath);
    ~AtomicFile();  // removes the temporary file unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Each returns false with why set on failure; the temporary file is
    // then already gone.
    bool open(std::string& why);
    bool write(const void* data, size_t length, std::string& why);
    // Flushes the bytes to the disk and renames the file to its final name.
    bool commit(std::string& why);

    const std::string& temporaryPath() const { return iv_temporary; }

private:
    bool fail(const std::string& action, std::string& why);
    void discard();

    std::string iv_final;
    std::string iv_temporary;
    int iv_fd = -1;
};

}  // namespace platdump
