// Control of the host simulation, for tests, tools and programs run on a
// workstation. Everything here acts on the simulation root of the calling
// process ($PLATSIM_ROOT, or the per-user default) through plain files, so
// a shell can do the same by hand (see the README's simulation contract).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "../platformExport.h"

namespace platsim {

enum class Fs { Primary, Backup };

// The simulation root in use (created, with its skeleton, on first use).
PLATFORM_EXPORT std::string root();
// Host path of a path of the service processor's namespace on one side.
PLATFORM_EXPORT std::string hostPath(const std::string& spPath, Fs fs = Fs::Primary);

// Registry values: raw bytes, or a 32-bit value stored big-endian.
PLATFORM_EXPORT bool setRegistry(const std::string& key, const std::string& bytes,
                                 Fs fs = Fs::Primary);
PLATFORM_EXPORT bool setRegistryU32(const std::string& key, uint32_t value, Fs fs = Fs::Primary);
PLATFORM_EXPORT bool removeRegistry(const std::string& key, Fs fs = Fs::Primary);

// The clock stands at seconds since the epoch until clearClock().
PLATFORM_EXPORT bool setClock(int64_t seconds);
PLATFORM_EXPORT bool clearClock();

// Role of this service processor: 1 primary (the default), 0 backup.
PLATFORM_EXPORT bool setRole(int role);

// Free-space figures reported by statfs for every simulated path.
PLATFORM_EXPORT bool setStatfs(uint64_t totalBlocks, uint64_t freeBlocks);
PLATFORM_EXPORT bool clearStatfs();

// Injected failures: call is a fault name (see the README), params the
// fault file's text, e.g. "count=1 match=/plat_dump".
PLATFORM_EXPORT bool setFault(const std::string& call, const std::string& params = "");
PLATFORM_EXPORT bool clearFault(const std::string& call);
PLATFORM_EXPORT void clearFaults();

// The redundancy manager's call log sim/rmgr.log: started empty, or removed.
PLATFORM_EXPORT bool setRmgrLog(bool on);

// The control files above (faults, role, the call log) changed through
// these calls count from the next call of every process of the root. One
// changed by hand counts from the next process, or after reload().
PLATFORM_EXPORT void reload();

// The managed server's main store ($PLATSIM_ROOT/mainstore, a sparse
// file): writes bytes at a main-store address, growing the store as
// needed; sets its size (a grown store reads as zeros).
PLATFORM_EXPORT bool writeMainStore(uint64_t address, const std::string& bytes);
PLATFORM_EXPORT bool setMainStoreSize(uint64_t bytes);
// The system manager's reply word to IPL-type requests (default 2).
PLATFORM_EXPORT bool setIplTypeReply(uint32_t reply);
// What the host mailbox and the system manager were asked, one line per
// request, oldest first (formats in the README).
PLATFORM_EXPORT std::vector<std::string> mailboxRequests();
PLATFORM_EXPORT std::vector<std::string> iplTypeRequests();

// The committed error logs, one JSON object per line, oldest first.
PLATFORM_EXPORT std::string errlogPath();
PLATFORM_EXPORT std::vector<std::string> committedErrorLogs();

}  // namespace platsim

namespace platsim {

// Console sessions (the network layer's session table), their replies and
// the management-console service's view; see platsimConsole.cpp.
struct ConsoleExchange {
    unsigned index = 0;
    unsigned socketType = 0;
    unsigned timeout = 0;
    std::vector<uint8_t> request;  // the request's NetcMessage image
};

// Adds session index to the table, replacing an entry of the same index.
// type: 1 to 4 characters (padded with spaces to 4; "KEL " for a console).
PLATFORM_EXPORT bool setConsoleSession(unsigned index, const std::string& type, unsigned state,
                                       const std::string& name);
// The data part of the response of session index (none: it does not answer).
PLATFORM_EXPORT bool setConsoleReply(unsigned index, const std::string& data);
// The console service's view as key=value words ("managed=1 consoles=2").
PLATFORM_EXPORT bool setManagedInfo(const std::string& words);
// The requests sent to consoles, oldest first.
PLATFORM_EXPORT std::vector<ConsoleExchange> consoleExchanges();

}  // namespace platsim
