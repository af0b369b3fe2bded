#include "streamSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace decode {

bool MemorySource::read(uint64_t offset, size_t length, uint8_t* out) const {
    if (!inside(offset, length)) return false;
    if (length > 0) std::memcpy(out, iv_bytes + offset, length);
    return true;
}

std::unique_ptr<FileSource> FileSource::open(const std::string& path, std::string& error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? "is a directory" : "not a regular file";
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<FileSource>(new FileSource(fd, static_cast<uint64_t>(st.st_size)));
}

FileSource::~FileSource() { ::close(iv_fd); }

bool FileSource::read(uint64_t offset, size_t length, uint8_t* out) const {
    if (!inside(offset, length)) return false;
    size_t done = 0;
    while (done < length) {
        ssize_t n = ::pread(iv_fd, out + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace decode
