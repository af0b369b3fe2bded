// The running server a collector finds on the simulated machine: the
// registry values a new dump records and extraction reads, and the
// management consoles the system section asks. The demo, the fault sweep
// and the fuzzers all start from this machine.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace collector {

// The registry of a running server, key and value: serial number, type
// and model, system name, IPL types, hypervisor mode, VOSK content, HRMOR
// and payload, SysOpMode 2 and a StateData record of state 9 (main store
// read through host-granted addresses).
std::vector<std::pair<std::string, std::string>> runningServerRegistry();

// Writes those values into the simulation's registry; with keepPresent,
// only the keys it lacks. The number written.
size_t setRunningServerRegistry(bool keepPresent = false);

// The management consoles: count sessions of the console connection type,
// the first connected and answering, the others known but not answering;
// and the console service's view (managed, one console, master 0).
constexpr const char* kConsoleNames[] = {"mc-alpha", "mc-beta"};
constexpr char kConsoleReply[] = "console v1 ready";
void setConsoles(unsigned count);

}  // namespace collector
