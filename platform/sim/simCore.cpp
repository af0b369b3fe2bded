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
#include <memory>
#include <sstream>
#include <string_view>

#include "platform/errlEntry.h"

namespace platsim {
namespace detail {

namespace {

std::string defaultRoot(const char* tmp) {
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

}  // namespace

// Keeps a thread's view of the root up to date.
class RootViews {
public:
    static RootView& mine() {
        if (__builtin_expect(t_rootView != nullptr, 1)) return *t_rootView;
        return made();
    }

    // Up to date with the environment.
    static void resolve(RootView& v) {
        const char* env = rootVariable(v);
        const bool fromEnv = env && *env;
        const char* input = fromEnv ? env : std::getenv("TMPDIR");
        // The same pointer with the same text is the same variable.
        if (__builtin_expect(v.iv_resolved && fromEnv == v.iv_fromEnv && input == v.iv_input &&
                                 (!input || std::strcmp(v.iv_inputText.c_str(), input) == 0) &&
                                 (!fromEnv || *env == '/'),
                             1))
            return;
        follow(v, fromEnv, input);
    }

    // Up to date with the root's generation.
    static void refresh(RootView& v) {
        if (__builtin_expect(v.upToDate(), 1)) return;
        reload(v);
    }

    // PLATSIM_ROOT's value. getenv scans the whole environment, which was a
    // fifth of a call's own work; the slot it was found in last time is
    // looked at first. setenv, putenv and unsetenv each change the slot's
    // pointer or the array, and then getenv finds it again.
    static const char* rootVariable(RootView& v) {
        constexpr size_t kPrefix = RootView::kRootPrefix;
        char** array = environ;
        if (__builtin_expect(array && array == v.iv_environ && array[v.iv_slot] == v.iv_entry, 1))
            return v.iv_entry + kPrefix;
        const char* env = std::getenv("PLATSIM_ROOT");
        v.iv_environ = nullptr;
        for (size_t i = 0; env && array && array[i]; ++i)
            if (array[i] + kPrefix == env) {
                v.iv_environ = array;
                v.iv_slot = i;
                v.iv_entry = array[i];
                break;
            }
        return env;
    }

    static void resolveOnce(RootView& v) {
        if (!v.iv_resolved) resolve(v);
    }

    static void changed(RootView& v) {
        if (mapped(v)) bumpGeneration(v.iv_generation);
    }

private:
    __attribute__((noinline)) static RootView& made() {
        t_rootView = new RootView;
        // A call made while the thread's destructors run (after the owner's)
        // keeps its view to the end.
        if (!t_ownerGone) t_owner.view.reset(t_rootView);
        return *t_rootView;
    }

    // The environment names another root, or a relative one.
    __attribute__((noinline)) static void follow(RootView& v, bool fromEnv, const char* input) {
        v.iv_fromEnv = fromEnv;
        v.iv_input = input;
        v.iv_inputText = input ? input : "";
        v.iv_resolved = true;
        std::string r = fromEnv ? absolute(input) : defaultRoot(input);
        while (r.size() > 1 && r.back() == '/') r.pop_back();
        if (r == v.iv_root && mapped(v)) return;
        int saved = errno;
        makeHostDirs(r);
        prepareSkeleton(r);
        unmap(v);
        if (uint32_t* counter = mapGeneration(r)) v.iv_generation = counter;
        v.iv_seen = RootView::kStale;
        errno = saved;
        v.iv_root = r;
        v.iv_primary = r + "/primary";
        v.iv_backup = r + "/backup";
    }

    // Generation first, files second, so that a change after the read moves
    // it. Without a counter the state stays stale: read on every call.
    __attribute__((noinline)) static void reload(RootView& v) {
        v.iv_seen = mapped(v) ? generation(v.iv_generation) : RootView::kStale;
        v.iv_control = readControlFiles(v.iv_root);
    }

    static bool mapped(const RootView& v) { return v.iv_generation != &RootView::s_noCounter; }

    static void unmap(RootView& v) {
        if (mapped(v)) unmapGeneration(v.iv_generation);
        v.iv_generation = &RootView::s_noCounter;
    }

    // Frees the thread's view when the thread ends.
    struct Owner {
        std::unique_ptr<RootView> view;
        ~Owner() {
            if (view) unmap(*view);
            t_rootView = nullptr;
            t_ownerGone = true;
        }
    };

    static thread_local bool t_ownerGone __attribute__((tls_model("initial-exec")));
    static thread_local Owner t_owner;
};

uint32_t RootView::s_noCounter = 0;
__thread bool t_backupScope __attribute__((tls_model("initial-exec"))) = false;
// Read on every call: a plain pointer in the thread's static block.
__thread RootView* t_rootView __attribute__((tls_model("initial-exec"))) = nullptr;
thread_local bool RootViews::t_ownerGone __attribute__((tls_model("initial-exec"))) = false;
thread_local RootViews::Owner RootViews::t_owner;

const RootView& currentRootSlow() {
    RootView& v = RootViews::mine();
    // A remote command's handler runs inside the command, on the root the
    // command worked out.
    if (t_backupScope)
        RootViews::resolveOnce(v);
    else
        RootViews::resolve(v);
    RootViews::refresh(v);
    return v;
}

const RootView& lastRootSlow() {
    RootView& v = RootViews::mine();
    RootViews::resolveOnce(v);
    RootViews::refresh(v);
    return v;
}

namespace {

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

const std::string& root() { return currentRoot().root(); }

const ControlState& control() { return currentRoot().control(); }

void controlChanged() { RootViews::changed(const_cast<RootView&>(currentRoot())); }

namespace {

std::string joined(const std::string& base, const std::string& spPath) {
    std::string path;
    path.reserve(base.size() + spPath.size() + 1);
    path += base;
    if (spPath.empty() || spPath[0] != '/') path += '/';
    return path += spPath;
}

}  // namespace

std::string sideDir(Side side) { return currentRoot().sideDir(side); }

int roleFromFile() { return currentRoot().control().role; }

Side currentSide() { return currentRoot().side(); }

std::string hostPath(Side side, const std::string& spPath) { return joined(currentRoot().sideDir(side), spPath); }

std::string hostPath(const std::string& spPath) {
    const RootView& r = currentRoot();
    return joined(r.sideDir(r.side()), spPath);
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

std::optional<Fault> armedFault(const RootView& r, const char* call, std::string_view subject) {
    const auto& armed = r.control().faults;
    auto found = armed.find(std::string_view(call));
    if (found == armed.end()) return std::nullopt;
    int saved = errno;
    Fault f;
    f.params = parseParams(found->second);
    auto match = f.params.find("match");
    if (match != f.params.end() && subject.find(match->second) == std::string_view::npos) {
        errno = saved;
        return std::nullopt;
    }
    bool fire = countAndDecide(r.root() + "/sim/fail/" + call + ".state", f.num("after", 0),
                               f.has("count"), f.num("count", 0));
    // Which call failed on what, for whoever has to tell afterwards.
    if (fire) appendHostLine(r.root() + "/sim/faults.log", std::string(call).append(" ").append(subject));
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

bool readHostFile(const char* path, std::string& out) {
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
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
