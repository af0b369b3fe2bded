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

#include "controlFiles.h"
#include "platform/errlEntry.h"

namespace platsim {
namespace detail {

namespace {

std::mutex g_rootMutex;
std::string g_preparedRoot;  // last root whose skeleton was checked
thread_local bool t_backupScope = false;

// The root last worked out and what it was worked out from: the text of
// PLATSIM_ROOT, or of TMPDIR for the default root.
struct RootCache {
    bool valid = false;
    bool fromEnv = false;
    std::string input;
    std::string root;
    unsigned generation = 1;  // moves whenever root does
};
RootCache g_root;

// PLATSIM_ROOT's value, or null, as getenv gives it; with g_rootMutex held.
// Where the entry found last time is still in its place in the same array
// with the same text, the variable is unchanged (setenv, putenv and
// unsetenv replace or move entries), and the array is not searched again.
const char* rootVariable() {
    static constexpr char kName[] = "PLATSIM_ROOT=";
    static constexpr size_t kNameLength = sizeof kName - 1;
    static char** array = nullptr;
    static size_t index = 0;
    static std::string entry;
    if (environ && environ == array && environ[index] && entry == environ[index])
        return environ[index] + kNameLength;
    array = nullptr;
    for (size_t i = 0; environ && environ[i]; ++i) {
        if (std::strncmp(environ[i], kName, kNameLength) != 0) continue;
        array = environ;
        index = i;
        entry = environ[i];
        return environ[i] + kNameLength;
    }
    return nullptr;
}

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

bool parseNumber(const std::string& text, uint64_t& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str()) return false;
    out = v;
    return true;
}

const std::string& root() {
    // This thread's copy, which callers may keep while they work.
    thread_local unsigned t_generation = 0;
    thread_local std::string t_root;
    std::lock_guard<std::mutex> lock(g_rootMutex);
    const char* env = rootVariable();
    const bool fromEnv = env && *env;
    const char* input = fromEnv ? env : std::getenv("TMPDIR");
    if (!input) input = "";
    // A relative root follows the current directory: worked out every time.
    if (!g_root.valid || g_root.fromEnv != fromEnv || g_root.input != input ||
        (fromEnv && *env != '/')) {
        std::string r = fromEnv ? absolute(env) : defaultRoot();
        while (r.size() > 1 && r.back() == '/') r.pop_back();
        if (r != g_preparedRoot) {
            int saved = errno;
            makeHostDirs(r);
            prepareSkeleton(r);
            errno = saved;
            g_preparedRoot = r;
        }
        if (r != g_root.root) ++g_root.generation;
        g_root = {true, fromEnv, input, r, g_root.generation};
    }
    if (t_generation != g_root.generation) {
        t_root = g_root.root;
        t_generation = g_root.generation;
    }
    return t_root;
}

namespace {

std::string sideDirOf(const std::string& r, Side side) {
    return r + (side == Side::Backup ? "/backup" : "/primary");
}

Side sideOf(const std::string& r) {
    if (t_backupScope) return Side::Backup;
    int saved = errno;
    int role = roleSetting(r);
    errno = saved;
    return role == 0 ? Side::Backup : Side::Primary;
}

std::string joined(std::string base, const std::string& spPath) {
    if (spPath.empty() || spPath[0] != '/') base += '/';
    return base += spPath;
}

}  // namespace

std::string sideDir(Side side) { return sideDirOf(root(), side); }

int roleFromFile() {
    int saved = errno;
    int role = roleSetting(root());
    errno = saved;
    return role;
}

Side currentSide() { return sideOf(root()); }

std::string hostPath(Side side, const std::string& spPath) {
    return joined(sideDirOf(root(), side), spPath);
}

std::string hostPath(const std::string& spPath) {
    const std::string& r = root();
    return joined(sideDirOf(r, sideOf(r)), spPath);
}

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
    const std::string& r = root();
    std::string text;
    if (!faultText(r, call, text)) {
        errno = saved;
        return std::nullopt;
    }
    Fault f;
    f.params = parseParams(text);
    auto match = f.params.find("match");
    if (match != f.params.end() && subject.find(match->second) == std::string::npos) {
        errno = saved;
        return std::nullopt;
    }
    bool fire = countAndDecide(r + "/sim/fail/" + call + ".state", f.num("after", 0),
                               f.has("count"), f.num("count", 0));
    // Which call failed on what, for whoever has to tell afterwards.
    if (fire) appendHostLine(r + "/sim/faults.log", std::string(call) + " " + subject);
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
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int err = errno;
            ::close(fd);
            errno = err;
            return false;
        }
        out.append(buf, static_cast<size_t>(n));
        // A short read of a regular file is its end: no read to learn it.
        if (static_cast<size_t>(n) < sizeof buf) break;
    }
    ::close(fd);
    return true;
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
