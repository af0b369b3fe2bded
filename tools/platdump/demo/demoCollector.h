// The collector's part of the demo: the shared collector (collector/)
// takes a dump of four nodes with a few hundred items, and each of its
// milestones is printed as a step. A failure of the library stops the demo
// with its error log.
#pragma once

#include <memory>

#include "demoFacts.h"
#include "platdump/dumpSummary.h"

namespace platdump {

constexpr unsigned kDemoNodes = 4;

// Creates dump facts.id and logs its request.
std::unique_ptr<DumpSummary> createDump(DemoFacts& facts, DemoLog& log);
// Collects it through completion.
void collectDump(DumpSummary& summary, DemoFacts& facts, DemoLog& log);

}  // namespace platdump
