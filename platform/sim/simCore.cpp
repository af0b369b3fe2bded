// Simulation root, file-system sides, role file, fault injection and the
// platform-error helper.
#include "simCore.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>

#include "platform/errlEntry.h"

namespace platsim {
namespace detail {

namespace {

std::mutex g_rootMutex;
std::string g_preparedRoot;  // last root whose skeleton was checked
thread_local bool t_backupScope = false;

std::string defaultRoot() {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = (tmp && *tmp == '/') ? tmp : "/tmp";
    return base + "/platsim-" + std::to_string(static_cast<unsigned long>(getuid()));
}

std::string absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return "/" + path;
    return std::string(cwd) + "/" + path;
}

void prepareSkeleton(const std::string& r) {
    struct stat st;
    if (::stat((r + "/primary").c_str(), &st) == 0) return;
    makeHostDirs(r + "/primary/plat_dump");
    makeHostDirs(r + "/primary/registry");
    makeHostDirs(r + "/backup/plat_dump");
    makeHostDirs(r + "/backup/registry");
    makeHostDirs(r + "/sim/fail");
}

// Cached contents of sim/role, refreshed when the file changes.
struct RoleCache {
    std::mutex mutex;
    std::string path;
    ino_t ino = 0;
    struct timespec mtime = {0, 0};
    off_t size = -1;
    int role = 1;
};
RoleCache g_role;

bool parseNumber(const std::string& text, uint64_t& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str()) return false;
    out = v;
    return true;
}

std::map<std::string, std::string> parseParams(const std::string& text) {
    std::map<std::string, std::string> params;
    std::istringstream in(text);
    std::string token;
    while (in >> token) {
        size_t eq = token.find('=');
        if (eq == std::string::npos)
            params[token] = "";
        else
            params[token.substr(0, eq)] = token.substr(eq + 1);
    }
    return params;
}

// Counts one matching call in <fault>.state under an exclusive lock, so
// that processes sharing the root share the count; true when it fails.
bool countAndDecide(const std::string& statePath, uint64_t after, bool limited,
                    uint64_t count) {
    int fd = ::open(statePath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return true;
    ::flock(fd, LOCK_EX);
    char buf[64] = {0};
    ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
    unsigned long long seen = 0, failed = 0;
    if (n > 0) std::sscanf(buf, "%llu %llu", &seen, &failed);
    ++seen;
    bool fire = seen > after && (!limited || failed < count);
    if (fire) ++failed;
    int len = std::snprintf(buf, sizeof buf, "%llu %llu\n", seen, failed);
    if (::ftruncate(fd, 0) == 0 && ::pwrite(fd, buf, len, 0) != len) {
        // the count is best effort; a lost update only shifts a fault
    }
    ::flock(fd, LOCK_UN);
    ::close(fd);
    return fire;
}

}  // namespace

std::string root() {
    const char* env = std::getenv("PLATSIM_ROOT");
    std::string r = (env && *env) ? absolute(env) : defaultRoot();
    while (r.size() > 1 && r.back() == '/') r.pop_back();
    std::lock_guard<std::mutex> lock(g_rootMutex);
    if (r != g_preparedRoot) {
        int saved = errno;
        makeHostDirs(r);
        prepareSkeleton(r);
        errno = saved;
        g_preparedRoot = r;
    }
    return r;
}

std::string sideDir(Side side) {
    return root() + (side == Side::Backup ? "/backup" : "/primary");
}

int roleFromFile() {
    std::string path = root() + "/sim/role";
    int saved = errno;
    struct stat st;
    std::lock_guard<std::mutex> lock(g_role.mutex);
    if (::stat(path.c_str(), &st) != 0) {
        errno = saved;
        g_role.path.clear();
        return 1;
    }
    if (path == g_role.path && st.st_ino == g_role.ino && st.st_size == g_role.size &&
        st.st_mtim.tv_sec == g_role.mtime.tv_sec && st.st_mtim.tv_nsec == g_role.mtime.tv_nsec) {
        errno = saved;
        return g_role.role;
    }
    std::string text;
    uint64_t value = 1;
    if (!readHostFile(path, text) || !parseNumber(text, value)) value = 1;
    g_role.path = path;
    g_role.ino = st.st_ino;
    g_role.size = st.st_size;
    g_role.mtime = st.st_mtim;
    g_role.role = static_cast<int>(value);
    errno = saved;
    return g_role.role;
}

Side currentSide() {
    if (t_backupScope) return Side::Backup;
    return roleFromFile() == 0 ? Side::Backup : Side::Primary;
}

std::string hostPath(Side side, const std::string& spPath) {
    std::string base = sideDir(side);
    if (spPath.empty() || spPath[0] != '/') base += '/';
    return base + spPath;
}

std::string hostPath(const std::string& spPath) { return hostPath(currentSide(), spPath); }

BackupScope::BackupScope() : iv_previous(t_backupScope) { t_backupScope = true; }
BackupScope::~BackupScope() { t_backupScope = iv_previous; }
bool inBackupScope() { return t_backupScope; }

uint64_t Fault::num(const std::string& key, uint64_t fallback) const {
    auto it = params.find(key);
    uint64_t v = 0;
    if (it == params.end() || !parseNumber(it->second, v)) return fallback;
    return v;
}

std::optional<Fault> fault(const char* call, const std::string& subject) {
    int saved = errno;
    std::string path = root() + "/sim/fail/" + call;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        errno = saved;
        return std::nullopt;
    }
    std::string text;
    readHostFile(path, text);
    Fault f;
    f.params = parseParams(text);
    auto match = f.params.find("match");
    if (match != f.params.end() && subject.find(match->second) == std::string::npos) {
        errno = saved;
        return std::nullopt;
    }
    bool fire = countAndDecide(path + ".state", f.num("after", 0), f.has("count"),
                               f.num("count", 0));
    // Which call failed on what, for whoever has to tell afterwards.
    if (fire) appendHostLine(root() + "/sim/faults.log", std::string(call) + " " + subject);
    errno = saved;
    if (!fire) return std::nullopt;
    return f;
}

ErrlEntry* platformError(uint16_t component, uint16_t reasonCode, uint32_t rc,
                         const std::string& what, const std::string& resource, int err,
                         const Fault* injected, uint32_t word2, uint32_t word3) {
    if (injected) {
        reasonCode = static_cast<uint16_t>(injected->num("reason", reasonCode));
        rc = static_cast<uint32_t>(injected->num("rc", rc));
    }
    ErrlEntry* e = new ErrlEntry(component, ERRL_SEV_UNRECOVERABLE, ERRL_ETYPE_NOT_APPLICABLE,
                                 SRCI_TYPE_FSP, 0, static_cast<uint8_t>(component & 0xFF),
                                 static_cast<serviceCodes>(0), reasonCode,
                                 static_cast<uint32_t>(err), word2, word3, 0, EPUB_UNKNOWN,
                                 SRCI_TERM_STATE_NONE, SRCI_FORMAT_NONE);
    e->setRC(rc);
    std::string text = what + ": " + resource;
    if (err != 0) text += ": " + std::string(std::strerror(err));
    if (injected) text += " (injected)";
    e->addUsrData("platform", reinterpret_cast<const uint8_t*>(text.data()),
                  static_cast<uint32_t>(text.size()));
    return e;
}

bool readHostFile(const std::string& path, std::string& out) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    out.clear();
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    ::close(fd);
    return n == 0;
}

bool writeHostFile(const std::string& path, const std::string& data) {
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) makeHostDirs(path.substr(0, slash));
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    ssize_t n = ::write(fd, data.data(), data.size());
    ::close(fd);
    return n == static_cast<ssize_t>(data.size());
}

bool appendHostLine(const std::string& path, const std::string& line) {
    std::string text = line + "\n";
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    ::flock(fd, LOCK_EX);
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::flock(fd, LOCK_UN);
    ::close(fd);
    return done == text.size();
}

std::vector<std::string> readHostLines(const std::string& path) {
    std::vector<std::string> lines;
    std::string text;
    if (!readHostFile(path, text)) return lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty()) lines.push_back(line);
    return lines;
}

bool makeHostDirs(const std::string& path) {
    std::string partial;
    std::istringstream in(path);
    std::string part;
    if (!path.empty() && path[0] == '/') partial = "";
    while (std::getline(in, part, '/')) {
        if (part.empty()) continue;
        partial += "/" + part;
        if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

}  // namespace detail
}  // namespace platsim
