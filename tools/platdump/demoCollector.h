// The collector's part of the demo, as a dump collector lives it: the
// status log's milestones, who asked for the dump and why (client record
// and SRC), the hardware and service-processor nodal sections of every
// node with their items, the system section, main store recorded through an
// MDRT, and completion. Progress is reported as the library computes it.
#pragma once

#include "demoFacts.h"
#include "platdump/dumpSummary.h"

namespace platdump {

constexpr unsigned kDemoNodes = 4;

void collectDump(DumpSummary& summary, DemoFacts& facts, DemoLog& log);

}  // namespace platdump
