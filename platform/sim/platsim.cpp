// The simulation's control interface: thin wrappers over the files of the
// simulation root.
#include "platsim.h"

#include <dirent.h>
#include <errno.h>
#include <unistd.h>

#include "platform/bigEndian.h"
#include "simCore.h"

namespace platsim {

namespace {

std::string simFile(const std::string& name) { return detail::root() + "/sim/" + name; }

detail::Side side(Fs fs) { return fs == Fs::Backup ? detail::Side::Backup : detail::Side::Primary; }

// A control file changed through this interface: every process of the
// root sees it from its next call.
bool changed(bool result) {
    detail::controlChanged();
    return result;
}

}  // namespace

std::string root() { return detail::root(); }

std::string hostPath(const std::string& spPath, Fs fs) {
    return detail::hostPath(side(fs), spPath);
}

bool setRegistry(const std::string& key, const std::string& bytes, Fs fs) {
    return detail::writeHostFile(hostPath("/registry/" + key, fs), bytes);
}

bool setRegistryU32(const std::string& key, uint32_t value, Fs fs) {
    uint8_t b[4];
    be::putU32(b, 0, value);
    return setRegistry(key, std::string(reinterpret_cast<char*>(b), 4), fs);
}

bool removeRegistry(const std::string& key, Fs fs) {
    return ::unlink(hostPath("/registry/" + key, fs).c_str()) == 0;
}

bool setClock(int64_t seconds) { return detail::writeHostFile(simFile("clock"), std::to_string(seconds) + "\n"); }

bool clearClock() { return ::unlink(simFile("clock").c_str()) == 0; }

bool setRole(int role) {
    return changed(detail::writeHostFile(simFile("role"), std::to_string(role) + "\n"));
}

bool setStatfs(uint64_t totalBlocks, uint64_t freeBlocks) {
    return detail::writeHostFile(simFile("statfs"),
                                 std::to_string(totalBlocks) + " " + std::to_string(freeBlocks) + "\n");
}

bool clearStatfs() { return ::unlink(simFile("statfs").c_str()) == 0; }

bool setFault(const std::string& call, const std::string& params) {
    ::unlink(simFile("fail/" + call + ".state").c_str());
    return changed(detail::writeHostFile(simFile("fail/" + call), params + "\n"));
}

bool clearFault(const std::string& call) {
    ::unlink(simFile("fail/" + call + ".state").c_str());
    return changed(::unlink(simFile("fail/" + call).c_str()) == 0);
}

void clearFaults() {
    std::string dir = simFile("fail");
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    while (struct dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..") ::unlink((dir + "/" + name).c_str());
    }
    ::closedir(d);
    detail::controlChanged();
}

bool setRmgrLog(bool on) {
    const std::string path = simFile("rmgr.log");
    if (on) return changed(detail::writeHostFile(path, ""));
    return changed(::unlink(path.c_str()) == 0 || errno == ENOENT);
}

void reload() { detail::controlChanged(); }

std::string errlogPath() { return detail::root() + "/errlog.jsonl"; }

std::vector<std::string> committedErrorLogs() { return detail::readHostLines(errlogPath()); }

}  // namespace platsim
