// The simulated main store and the host's table of granted DMA ranges.
#include "mainStore.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <mutex>

#include "simCore.h"

namespace platsim {
namespace detail {

namespace {

// DMA addresses handed out by the host: page-aligned windows from kDmaBase
// upward, each keeping the page offset of its main-store address.
constexpr uint32_t kDmaBase = 0x10000000;
constexpr uint32_t kDmaLimit = 0xF0000000;
constexpr uint32_t kPage = 0x1000;
constexpr size_t kMaxGrants = 64;
constexpr size_t kTraceBufferSize = 8 * 1024;

struct Grant {
    uint32_t dma;
    uint32_t length;
    uint64_t address;
};

struct GrantTable {
    std::mutex mutex;
    std::string root;  // the root these grants belong to
    std::deque<Grant> grants;
    uint32_t next = kDmaBase;

    // The table of the current root; a new root starts with none.
    void sync() {
        std::string r = platsim::detail::root();
        if (r == root) return;
        root = r;
        grants.clear();
        next = kDmaBase;
    }
};

GrantTable& table() {
    static GrantTable* t = new GrantTable;  // lives to exit
    return *t;
}

}  // namespace

std::string mainStorePath() { return root() + "/mainstore"; }

uint64_t mainStoreSize() {
    struct stat st;
    if (::stat(mainStorePath().c_str(), &st) != 0) return 0;
    return static_cast<uint64_t>(st.st_size);
}

int readMainStore(uint64_t address, void* buffer, uint32_t length) {
    int fd = ::open(mainStorePath().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    struct stat st;
    if (::fstat(fd, &st) != 0 || address > static_cast<uint64_t>(st.st_size) ||
        length > static_cast<uint64_t>(st.st_size) - address) {
        ::close(fd);
        return ERANGE;
    }
    char* p = static_cast<char*>(buffer);
    uint32_t done = 0;
    int err = 0;
    while (done < length) {
        ssize_t n = ::pread(fd, p + done, length - done, static_cast<off_t>(address + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            err = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<uint32_t>(n);
    }
    ::close(fd);
    return err;
}

bool grantDmaRange(uint64_t address, uint32_t length, uint32_t& dma) {
    uint32_t offset = static_cast<uint32_t>(address % kPage);
    if (static_cast<uint64_t>(offset) + length > kDmaLimit - kDmaBase) return false;
    GrantTable& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.sync();
    if (static_cast<uint64_t>(t.next) + offset + length > kDmaLimit) {
        t.grants.clear();  // the window wraps: older mappings are gone
        t.next = kDmaBase;
    }
    dma = t.next + offset;
    uint64_t end = static_cast<uint64_t>(dma) + length;
    t.next = static_cast<uint32_t>((end + kPage - 1) / kPage * kPage);
    t.grants.push_back({dma, length, address});
    if (t.grants.size() > kMaxGrants) t.grants.pop_front();
    return true;
}

void releaseDmaRanges(uint64_t address) {
    GrantTable& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.sync();
    for (auto it = t.grants.begin(); it != t.grants.end();)
        it = it->address == address ? t.grants.erase(it) : it + 1;
}

bool resolveDmaRange(uint32_t dma, uint32_t length, uint64_t& address) {
    GrantTable& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.sync();
    for (auto it = t.grants.rbegin(); it != t.grants.rend(); ++it) {
        if (dma < it->dma || static_cast<uint64_t>(dma) + length >
                                 static_cast<uint64_t>(it->dma) + it->length)
            continue;
        address = it->address + (dma - it->dma);
        return true;
    }
    return false;
}

trace_desc_t serviceTrace(const char* name) {
    trace_desc_t td = nullptr;
    trace_adal_init_buffer(&td, name, kTraceBufferSize);
    return td;
}

}  // namespace detail
}  // namespace platsim
