// The control files of a simulation root as this process last read them,
// and the watch that says when to read them again.
//
// Watching: one inotify instance per process, owned by the process and
// raising SIGIO (O_ASYNC) whenever an event is queued. The handler only
// counts. Events are queued while the changing write, create, rename or
// unlink is still in the kernel, so by the time any process can know that
// a change was made, the signal is pending here and is handled before this
// process runs on: the next look sees the count moved and reads the files
// again. Watched: sim and sim/fail for entries appearing and going, each
// fault file and sim/role for changes in place. The queue is drained on
// every reread so that a later identical event is queued (and signalled)
// rather than merged into an old one.
#include "controlFiles.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string_view>

#include "simCore.h"

namespace platsim {
namespace detail {

namespace {

// Calls a process makes on a root before it starts watching it: helpers
// that make a handful of calls (a forked child that takes a semaphore and
// waits) never receive the signal.
constexpr unsigned kLooksBeforeWatching = 32;

constexpr uint32_t kEntryEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
constexpr uint32_t kContentEvents = IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

std::atomic<unsigned> g_notices{0};
std::atomic<int> g_pid{0};

void onControlNotice(int) { g_notices.fetch_add(1, std::memory_order_relaxed); }

bool endsWith(const std::string& s, const char* suffix) {
    size_t n = std::char_traits<char>::length(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

enum class Control { Missing, Present };

// A control file's text; one that exists but cannot be read is present
// with the text read so far (none).
Control readControl(const std::string& path, std::string& text) {
    text.clear();
    if (readHostFile(path, text)) return Control::Present;
    if (errno == ENOENT || errno == ENOTDIR) return Control::Missing;
    return Control::Present;
}

int parseRole(Control found, const std::string& text) {
    uint64_t value = 1;
    if (found == Control::Missing || !parseNumber(text, value)) return 1;
    return static_cast<int>(value);
}

// SIGIO is ours when nobody else handles it and no thread here blocks it.
bool takeSignal() {
    static int taken = 0;  // 0 not yet asked, 1 ours, -1 not available
    if (taken != 0) return taken > 0;
    taken = -1;
    struct sigaction old {};
    sigset_t blocked;
    if (::sigaction(SIGIO, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) return false;
    if (::pthread_sigmask(SIG_BLOCK, nullptr, &blocked) != 0 || sigismember(&blocked, SIGIO))
        return false;
    struct sigaction mine {};
    mine.sa_handler = onControlNotice;
    sigemptyset(&mine.sa_mask);
    mine.sa_flags = SA_RESTART;
    if (::sigaction(SIGIO, &mine, nullptr) != 0) return false;
    taken = 1;
    return true;
}

struct Snapshot {
    std::map<std::string, std::string, std::less<>> faults;  // fault name: text
    int role = 1;
    bool rmgrLog = false;
};

// The watch of one root in this process. Guarded by mutex.
class Watch {
public:
    std::mutex mutex;

    // The snapshot to answer from, or null when the files must be read.
    const Snapshot* current(const std::string& root) {
        if (root != iv_root) follow(root);
        if (iv_fd < 0) {
            if (iv_refused || ++iv_looks < kLooksBeforeWatching) return nullptr;
            if (!start()) {
                iv_refused = true;
                return nullptr;
            }
        }
        unsigned notices = g_notices.load(std::memory_order_acquire);
        if (iv_loaded && notices == iv_seen) return &iv_snapshot;
        iv_seen = notices;
        drain();
        iv_loaded = load();
        if (iv_loaded) return &iv_snapshot;
        stop();
        iv_refused = true;
        return nullptr;
    }

    // In a forked child: the descriptor is the parent's, the counts too.
    void forget() {
        if (iv_fd >= 0) ::close(iv_fd);
        iv_fd = -1;
        iv_root.clear();
        iv_loaded = false;
        iv_looks = 0;
        iv_refused = false;
    }

private:
    void follow(const std::string& root) {
        stop();
        iv_root = root;
        iv_looks = 0;
        iv_refused = false;
    }

    bool start() {
        if (!takeSignal()) return false;
        iv_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (iv_fd < 0) return false;
        if (::fcntl(iv_fd, F_SETOWN, processId()) != 0 ||
            ::fcntl(iv_fd, F_SETFL, O_NONBLOCK | O_ASYNC) != 0) {
            stop();
            return false;
        }
        iv_loaded = false;
        return true;
    }

    void stop() {
        if (iv_fd >= 0) ::close(iv_fd);
        iv_fd = -1;
        iv_loaded = false;
    }

    void drain() {
        alignas(struct inotify_event) char events[4096];
        while (::read(iv_fd, events, sizeof events) > 0) {
        }
    }

    bool watch(const std::string& path, uint32_t events) {
        return ::inotify_add_watch(iv_fd, path.c_str(), events) >= 0;
    }

    // Watches, then reads, so that a change after the read is signalled.
    bool load() {
        const std::string sim = iv_root + "/sim";
        const std::string fail = sim + "/fail";
        if (!watch(sim, kEntryEvents) || !watch(fail, kEntryEvents)) return false;
        Snapshot s;
        std::string text;
        Control role = Control::Missing;
        if (watch(sim + "/role", kContentEvents))
            role = readControl(sim + "/role", text);
        else if (errno != ENOENT)
            return false;  // out of watches: changes in place would go unseen
        s.role = parseRole(role, text);
        struct stat st;
        s.rmgrLog = ::stat((sim + "/rmgr.log").c_str(), &st) == 0;
        DIR* dir = ::opendir(fail.c_str());
        if (!dir) return false;
        while (struct dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name == "." || name == ".." || endsWith(name, ".state")) continue;
            std::string path = fail + "/" + name;
            if (!watch(path, kContentEvents) && errno != ENOENT) {
                ::closedir(dir);
                return false;
            }
            if (readControl(path, text) == Control::Present) s.faults[name] = text;
        }
        ::closedir(dir);
        iv_snapshot = std::move(s);
        return true;
    }

    std::string iv_root;
    int iv_fd = -1;            // the inotify instance; -1 while not watching
    unsigned iv_looks = 0;     // looks at iv_root before watching
    bool iv_refused = false;   // the watch cannot be set up: read on every look
    bool iv_loaded = false;    // iv_snapshot holds the files as of iv_seen
    unsigned iv_seen = 0;
    Snapshot iv_snapshot;
};

Watch& theWatch() {
    static Watch* w = new Watch;  // lives to exit
    return *w;
}

// fork: the mutex is held across it, and the child starts afresh.
struct ForkHandlers {
    ForkHandlers() {
        ::pthread_atfork([] { theWatch().mutex.lock(); }, [] { theWatch().mutex.unlock(); },
                         [] {
                             g_pid.store(0);
                             theWatch().forget();
                             theWatch().mutex.unlock();
                         });
    }
};
const ForkHandlers g_forkHandlers;

}  // namespace

bool faultText(const std::string& root, const char* call, std::string& text) {
    {
        Watch& w = theWatch();
        std::lock_guard<std::mutex> lock(w.mutex);
        if (const Snapshot* s = w.current(root)) {
            if (s->faults.empty()) return false;
            auto it = s->faults.find(std::string_view(call));
            if (it == s->faults.end()) return false;
            text = it->second;
            return true;
        }
    }
    return readControl(root + "/sim/fail/" + call, text) == Control::Present;
}

int roleSetting(const std::string& root) {
    {
        Watch& w = theWatch();
        std::lock_guard<std::mutex> lock(w.mutex);
        if (const Snapshot* s = w.current(root)) return s->role;
    }
    std::string text;
    Control found = readControl(root + "/sim/role", text);
    return parseRole(found, text);
}

bool rmgrLogMayExist(const std::string& root) {
    Watch& w = theWatch();
    std::lock_guard<std::mutex> lock(w.mutex);
    const Snapshot* s = w.current(root);
    return !s || s->rmgrLog;
}

void controlFilesChanged() { g_notices.fetch_add(1, std::memory_order_relaxed); }

int processId() {
    int pid = g_pid.load(std::memory_order_relaxed);
    if (pid == 0) {
        pid = static_cast<int>(::getpid());
        g_pid.store(pid, std::memory_order_relaxed);
    }
    return pid;
}

}  // namespace detail
}  // namespace platsim
