// The simulated machine every sweep run starts from, the same in every
// run so that two runs' streams compare byte for byte: a standing clock,
// fixed free-space figures, the registry values a dump records and
// extraction reads, a console that answers, and main store holding the
// regions the system dump lists. The error-log numbering starts afresh
// with each root.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "collector/dumpCollector.h"

namespace sweep {

// The two dumps of the lifecycle: a system dump taken in full, and a
// hardware-unit dump whose main-store region lies beyond main store, so
// that its reads fail and lead to a checkstop IPL request.
constexpr unsigned kSystemDump = 0x1A;
constexpr unsigned kUnitDump = 0x0100002B;

using collector::Region;
const std::vector<Region>& systemDumpRegions();
Region unitDumpRegion();

// Files outside the repository that the lifecycle writes, and the MDST
// file the system dump names (of kMdstSize bytes, there from the start).
constexpr char kConfigFile[] = "/etc/dump/sweep.cfg";
constexpr char kMdstFile[] = "/var/mdst/0000001A";
constexpr unsigned kMdstSize = 64;
constexpr char kBlockFile[] = "/etc/dump/blocks";

// smgr/StateData for a system state code, main store readable.
std::string stateRecord(uint32_t state);
// The system state in which the engine reads main store (where failed
// reads request a checkstop IPL).
constexpr uint32_t kStateEngine = 11;

// Lays the machine out on the current simulation root.
void prepareMachine();

}  // namespace sweep
