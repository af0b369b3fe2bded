// The session table on the host (sim/netc/sessions, see netcSim.h) and its
// lock, an exclusive flock on sim/netc/sessions.lock held for the caller's
// UtilFile object. Faults: NetcSessionEntry.FindSessionEntry (subject
// "session[<index>]"), netcSessionEntryFileLock, netcSessionEntryFileUnLock
// (subject "sessions"; an injected unlock failure still drops the lock);
// errno=N sets the error.
#include "platform/netcSession.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <sstream>

#include "netcSim.h"
#include "platform/errlEntry.h"
#include "platform/utilFile.h"

using platsim::detail::fault;
using platsim::detail::netcError;

namespace platsim {
namespace detail {

namespace {

bool parseByte(const std::string& text, unsigned& out) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
    unsigned long v = std::strtoul(text.c_str(), nullptr, 10);
    if (v > 0xFF) return false;
    out = static_cast<unsigned>(v);
    return true;
}

}  // namespace

std::string netcFile(const std::string& name) { return root() + "/sim/netc/" + name; }

std::string sessionSubject(unsigned index) { return "session[" + std::to_string(index) + "]"; }

bool parseSessionLine(const std::string& line, ConsoleSession& out) {
    std::istringstream in(line);
    std::string index, type, state;
    if (!(in >> index >> type >> state)) return false;
    if (!parseByte(index, out.index) || !parseByte(state, out.state)) return false;
    if (type.size() > 4) return false;
    out.type = type + std::string(4 - type.size(), ' ');
    std::string name;
    std::getline(in, name);
    if (!name.empty() && name[0] == ' ') name.erase(0, 1);
    while (!name.empty() && (name.back() == '\r' || name.back() == '\n')) name.pop_back();
    out.name = name;
    return true;
}

int findConsoleSession(unsigned index, ConsoleSession& out) {
    std::string text;
    if (!readHostFile(netcFile("sessions"), text)) return ENOENT;
    std::istringstream in(text);
    std::string line;
    bool found = false;
    while (std::getline(in, line)) {
        size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') continue;
        ConsoleSession session;
        if (!parseSessionLine(line, session)) return EBADMSG;
        if (!found && session.index == index) {
            out = session;
            found = true;
        }
    }
    return found ? 0 : ENOENT;
}

ErrlEntry* netcError(uint16_t reason, const std::string& what, const std::string& subject,
                     int err, const Fault* injected) {
    if (injected) err = static_cast<int>(injected->num("errno", EIO));
    return platformError(COMP_NETC, reason, static_cast<uint32_t>(err), what, subject, err,
                         injected);
}

}  // namespace detail
}  // namespace platsim

namespace {

enum : uint16_t {
    REASON_FIND = 0x1C01,
    REASON_LOCK = 0x1C02,
    REASON_UNLOCK = 0x1C03,
};

const char* const TABLE_SUBJECT = "sessions";

// Lock descriptors by the caller's file object.
std::mutex g_lockMutex;
std::map<const UtilFile*, int> g_locks;

}  // namespace

NetcSessionEntry::NetcSessionEntry() { clear(); }

void NetcSessionEntry::clear() {
    iv_index = 0;
    std::memset(iv_type, 0, sizeof iv_type);
    iv_state = 0;
    std::memset(iv_name, 0, sizeof iv_name);
}

ErrlEntry* NetcSessionEntry::FindSessionEntry(uint8_t index) {
    clear();
    std::string subject = platsim::detail::sessionSubject(index);
    if (auto f = fault("NetcSessionEntry.FindSessionEntry", subject))
        return netcError(REASON_FIND, "find session entry", subject, 0, &*f);
    platsim::detail::ConsoleSession session;
    int err = platsim::detail::findConsoleSession(index, session);
    if (err == EBADMSG) return netcError(REASON_FIND, "find session entry (malformed table)", subject, err);
    if (err != 0) return netcError(REASON_FIND, "find session entry (no such session)", subject, err);
    iv_index = index;
    std::memcpy(iv_type, session.type.data(), TYPE_SIZE);
    iv_state = static_cast<uint8_t>(session.state);
    std::strncpy(iv_name, session.name.c_str(), NAME_SIZE - 1);
    return nullptr;
}

ErrlEntry* netcSessionEntryFileLock(UtilFile& file) {
    if (auto f = fault("netcSessionEntryFileLock", TABLE_SUBJECT))
        return netcError(REASON_LOCK, "lock session table", TABLE_SUBJECT, 0, &*f);
    {
        std::lock_guard<std::mutex> guard(g_lockMutex);
        if (g_locks.count(&file))
            return netcError(REASON_LOCK, "lock session table (already held)", TABLE_SUBJECT,
                             EDEADLK);
    }
    platsim::detail::makeHostDirs(platsim::detail::netcFile(""));
    std::string path = platsim::detail::netcFile("sessions.lock");
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return netcError(REASON_LOCK, "lock session table", TABLE_SUBJECT, errno);
    if (::flock(fd, LOCK_EX) != 0) {
        int err = errno;
        ::close(fd);
        return netcError(REASON_LOCK, "lock session table", TABLE_SUBJECT, err);
    }
    file.setFileName(path.c_str());
    std::lock_guard<std::mutex> guard(g_lockMutex);
    g_locks[&file] = fd;
    return nullptr;
}

ErrlEntry* netcSessionEntryFileUnLock(UtilFile& file) {
    int fd = -1;
    {
        std::lock_guard<std::mutex> guard(g_lockMutex);
        auto it = g_locks.find(&file);
        if (it != g_locks.end()) {
            fd = it->second;
            g_locks.erase(it);
        }
    }
    if (fd >= 0) {
        ::flock(fd, LOCK_UN);
        ::close(fd);
    }
    // An injected failure is reported after the lock is dropped, so that a
    // test of it cannot leave the table locked for the rest of the process.
    if (auto f = fault("netcSessionEntryFileUnLock", TABLE_SUBJECT))
        return netcError(REASON_UNLOCK, "unlock session table", TABLE_SUBJECT, 0, &*f);
    if (fd < 0)
        return netcError(REASON_UNLOCK, "unlock session table (not held)", TABLE_SUBJECT, ENOLCK);
    return nullptr;
}
