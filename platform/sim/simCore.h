// Core of the host simulation, shared by every simulated service: where
// the simulation root is, which file system a path of the service
// processor resolves to, the control state (role, faults), fault injection
// and the one helper that turns a native failure into a platform error-log
// entry naming the resource. Internal to libplatsim.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "controlFiles.h"

class ErrlEntry;

namespace platsim {
namespace detail {

enum class Side { Primary, Backup };

// This thread serves a remote command (see BackupScope): a plain flag in
// the thread's static block, read by every call that resolves a path.
extern __thread bool t_backupScope __attribute__((tls_model("initial-exec")));

// The root a thread's calls work on: $PLATSIM_ROOT, or the per-user default
// ($TMPDIR/platsim-<uid>), with its sides and its control state as of the
// root's generation. Worked out again only when the variable changed (its
// pointer or its text; a relative root every time, as it follows the
// current directory); the skeleton (primary/plat_dump, backup/plat_dump,
// sim/) is laid out the first time a thread works out a root. Each thread
// keeps its own, so a call takes no lock.
class RootView {
public:
    static constexpr size_t kRootPrefix = sizeof "PLATSIM_ROOT=" - 1;

    const std::string& root() const { return iv_root; }
    const std::string& sideDir(Side side) const { return side == Side::Backup ? iv_backup : iv_primary; }
    const ControlState& control() const { return iv_control; }
    // The file system this thread works on: the backup's while it serves a
    // remote command or while the role is 0, else the primary's.
    Side side() const {
        if (t_backupScope) return Side::Backup;
        return iv_control.role == 0 ? Side::Backup : Side::Primary;
    }
    // PLATSIM_ROOT's slot of the environment still holds the entry this
    // absolute root was worked out from, with the same text, and the control
    // state is up to date: the check of every call that names a path.
    bool current() const {
        char** array = environ;
        return array && array == iv_environ && array[iv_slot] == iv_entry && iv_fromEnv &&
               iv_input == iv_entry + kRootPrefix && *iv_input == '/' &&
               std::strcmp(iv_inputText.c_str(), iv_input) == 0 && upToDate();
    }
    // Worked out, its control state read at the root's current generation:
    // one load and one comparison (a 32-bit generation never equals kStale).
    bool upToDate() const { return generation(iv_generation) == iv_seen; }

private:
    friend class RootViews;
    bool iv_resolved = false;
    bool iv_fromEnv = false;
    const char* iv_input = nullptr;  // PLATSIM_ROOT, or TMPDIR for the default root, as getenv gave it
    std::string iv_inputText;
    char** iv_environ = nullptr;  // the environment array PLATSIM_ROOT was last found in
    size_t iv_slot = 0;           // its slot there
    const char* iv_entry = nullptr;  // the "PLATSIM_ROOT=..." entry the slot held
    std::string iv_root, iv_primary, iv_backup;
    static constexpr uint64_t kStale = ~uint64_t(0);
    static uint32_t s_noCounter;  // stands for sim/control when it cannot be mapped
    uint32_t* iv_generation = &s_noCounter;  // sim/control's counter
    uint64_t iv_seen = kStale;  // the generation the control state was read at; kStale: to be read
    ControlState iv_control;
};

extern __thread RootView* t_rootView __attribute__((tls_model("initial-exec")));  // null before a first call

// The root as the environment names it now: calls that name a path, a
// key or a semaphore, and every call without an object, start here. Inside
// a remote command's handler it is the root the command worked out.
const RootView& currentRootSlow();
inline const RootView& currentRoot() {
    const RootView* v = t_rootView;
    if (__builtin_expect(v && !t_backupScope && v->current(), 1)) return *v;
    return currentRootSlow();
}
// The root this thread last worked out, its control state up to date:
// calls on a file or a semaphore that a call of the first kind opened.
// Inline, as every transfer asks for it: one comparison when nothing moved.
const RootView& lastRootSlow();
inline const RootView& lastRoot() {
    const RootView* v = t_rootView;
    if (__builtin_expect(v && v->upToDate(), 1)) return *v;
    return lastRootSlow();
}

// currentRoot()'s pieces. The string is this thread's copy, changed by its
// next call only when the root changed.
const std::string& root();
const ControlState& control();
// This process changed a control file: bump the root's generation.
void controlChanged();

Side currentSide();
std::string sideDir(Side side);
// Host path of a path of the service processor's namespace.
std::string hostPath(const std::string& spPath);
std::string hostPath(Side side, const std::string& spPath);

// A host path made without the heap, for the calls made most often. One
// longer than the host takes is the empty path, which every call refuses.
struct HostPath {
    char text[4096];
    const char* c_str() const { return text; }
};
// base, then the pieces, one after the other. Inline, so that a piece
// known at the call (a separator, or nothing) costs next to nothing.
inline HostPath joinedPath(std::string_view base, std::string_view a, std::string_view b = {}) {
    HostPath p;
    if (base.size() + a.size() + b.size() >= sizeof p.text) {
        p.text[0] = '\0';
        return p;
    }
    char* at = p.text;
    if (!base.empty()) std::memcpy(at, base.data(), base.size());
    at += base.size();
    if (!a.empty()) std::memcpy(at, a.data(), a.size());
    at += a.size();
    if (!b.empty()) std::memcpy(at, b.data(), b.size());
    at[b.size()] = '\0';
    return p;
}
// The host path of spPath on the side r works on.
inline HostPath hostPathOf(const RootView& r, std::string_view spPath) {
    const bool relative = spPath.empty() || spPath[0] != '/';
    return joinedPath(r.sideDir(r.side()), std::string_view("/", relative), spPath);
}

// Contents of sim/role: 0, 1 or 4; 1 when the file is absent or unreadable.
int roleFromFile();

// While alive, this thread acts as the backup: role 0, backup file system.
class BackupScope {
public:
    BackupScope();
    ~BackupScope();
    BackupScope(const BackupScope&) = delete;
    BackupScope& operator=(const BackupScope&) = delete;

private:
    bool iv_previous;
};
bool inBackupScope();

// An injected failure: the parameters of the fault file that fired.
struct Fault {
    std::map<std::string, std::string> params;
    bool has(const std::string& key) const { return params.count(key) != 0; }
    // Numeric parameter (decimal or 0x-hex), or fallback.
    uint64_t num(const std::string& key, uint64_t fallback) const;
};

// Consults sim/fail/<call> of root r: with no fault armed, one comparison.
// subject is what the call acts on (a path, a registry key, a semaphore
// name); a fault with match=TEXT fires only for subjects containing TEXT.
// after=N lets N matching calls pass first; count=N limits the failures to
// N. Every failure that fires appends "<call> <subject>" to sim/faults.log.
std::optional<Fault> armedFault(const RootView& r, const char* call, std::string_view subject);
inline std::optional<Fault> fault(const RootView& r, const char* call, std::string_view subject) {
    if (r.control().faults.empty()) return std::nullopt;
    return armedFault(r, call, subject);
}
// A subject given as C text is measured only when a fault is armed.
inline std::optional<Fault> fault(const RootView& r, const char* call, const char* subject) {
    if (r.control().faults.empty()) return std::nullopt;
    return armedFault(r, call, subject);
}
inline std::optional<Fault> fault(const char* call, std::string_view subject) {
    return fault(currentRoot(), call, subject);
}

// A platform failure entry: component, reason code and return code (the
// fault's rc=/reason= override them), the user words, and a user-data
// section "<what>: <resource>: <reason text>".
ErrlEntry* platformError(uint16_t component, uint16_t reasonCode, uint32_t rc,
                         const std::string& what, const std::string& resource,
                         int err, const Fault* injected,
                         uint32_t word2 = 0, uint32_t word3 = 0);

// Platform component ids of entries the simulation creates.
enum : uint16_t {
    COMP_UTIL_FILE = 0x1100,
    COMP_UTIL_REG = 0x1200,
    COMP_UTIL_SEM = 0x1300,
    COMP_RTIM = 0x1400,
    COMP_ERRL = 0x1500,
    COMP_RMGR = 0x1600,
    COMP_CCMM = 0x1A00,
    COMP_KELX = 0x1B00,
    COMP_NETC = 0x1C00,
    COMP_DMAE = 0x2100,
    COMP_MBOX = 0x2200,
    COMP_SMGR = 0x2300,
};

// The decimal or 0x-hex number text begins with.
bool parseNumber(const std::string& text, uint64_t& out);

// Small-file helpers on host paths (never faulted, never traced). A failed
// read leaves errno as the failing call set it.
bool readHostFile(const char* path, std::string& out);
inline bool readHostFile(const std::string& path, std::string& out) { return readHostFile(path.c_str(), out); }
bool writeHostFile(const std::string& path, const std::string& data);
bool makeHostDirs(const std::string& path);
// Line files shared by the processes of a root (the error log, request
// logs): appends line plus a newline under an exclusive lock; reads the
// non-empty lines, oldest first (none when the file is missing).
bool appendHostLine(const std::string& path, const std::string& line);
std::vector<std::string> readHostLines(const std::string& path);

}  // namespace detail
}  // namespace platsim
