// Core of the host simulation, shared by every simulated service: where
// the simulation root is, which file system a path of the service
// processor resolves to, the role file, fault injection and the one helper
// that turns a native failure into a platform error-log entry naming the
// resource. Internal to libplatsim.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

class ErrlEntry;

namespace platsim {
namespace detail {

// $PLATSIM_ROOT, or the per-user default; the skeleton (primary/plat_dump,
// backup/plat_dump, sim/) is laid out the first time a root is seen without it.
// The string is this thread's copy, changed by its next call only when the
// root changed.
const std::string& root();

enum class Side { Primary, Backup };

// The file system this thread works on: the backup's while it serves a
// remote command or while the role file says 0, else the primary's.
Side currentSide();
std::string sideDir(Side side);
// Host path of a path of the service processor's namespace.
std::string hostPath(const std::string& spPath);
std::string hostPath(Side side, const std::string& spPath);

// Contents of sim/role: 0, 1 or 4; 1 when the file is absent or unreadable
// (read through the control-file watch, controlFiles.h).
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

// Consults sim/fail/<call> (through the control-file watch). subject is what the call acts on (a path, a
// registry key, a semaphore name); a fault with match=TEXT fires only for
// subjects containing TEXT. after=N lets N matching calls pass first;
// count=N limits the failures to N. Every failure that fires appends
// "<call> <subject>" to sim/faults.log.
std::optional<Fault> fault(const char* call, const std::string& subject);

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
bool readHostFile(const std::string& path, std::string& out);
bool writeHostFile(const std::string& path, const std::string& data);
bool makeHostDirs(const std::string& path);
// Line files shared by the processes of a root (the error log, request
// logs): appends line plus a newline under an exclusive lock; reads the
// non-empty lines, oldest first (none when the file is missing).
bool appendHostLine(const std::string& path, const std::string& line);
std::vector<std::string> readHostLines(const std::string& path);

}  // namespace detail
}  // namespace platsim
