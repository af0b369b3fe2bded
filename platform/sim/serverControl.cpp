// The simulation's control of the managed server: its main store and what
// its host mailbox and system manager were asked.
#include <fcntl.h>
#include <unistd.h>

#include "mainStore.h"
#include "platsim.h"
#include "simCore.h"

namespace platsim {

bool writeMainStore(uint64_t address, const std::string& bytes) {
    int fd = ::open(detail::mainStorePath().c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                             static_cast<off_t>(address + done));
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    return done == bytes.size();
}

bool setMainStoreSize(uint64_t bytes) {
    int fd = ::open(detail::mainStorePath().c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = ::ftruncate(fd, static_cast<off_t>(bytes)) == 0;
    ::close(fd);
    return ok;
}

bool setIplTypeReply(uint32_t reply) {
    return detail::writeHostFile(detail::root() + "/sim/smgr_reply", std::to_string(reply) + "\n");
}

std::vector<std::string> mailboxRequests() {
    return detail::readHostLines(detail::root() + "/sim/mbox.log");
}

std::vector<std::string> iplTypeRequests() {
    return detail::readHostLines(detail::root() + "/sim/smgr.log");
}

}  // namespace platsim
