// The sweep's lifecycle: what collectors, an offload program and a
// manager do with two dumps on one machine, reaching every exported
// operation of the library. A system dump is taken in full (status log,
// client and SRC, hardware and service-processor sections of two nodes,
// the system section, main store through an MDRT, a section left behind
// by a crashed writer and repaired at completion), listed, counted and
// extracted in 64 KiB requests with main store; a hardware-unit dump
// whose main store cannot be read brings the extraction to request a
// checkstop IPL, has its main store withdrawn and is deleted under the
// caller's own extraction semaphore; the system dump is deleted last.
// Every call that can fail is recorded, and so is every answer; the
// lifecycle goes on after a failure wherever a real caller could.
#pragma once

#include "record.h"

class DumpSummary;
class ErrlEntry;

namespace sweep {

// The whole lifecycle on the current simulation root.
void runLifecycle(RunRecord& record);

// Its parts (collect.cpp, offload.cpp).
// savedLog is the error log the collector saves into the system section.
// The collectors return whether their dump was created.
bool collectSystemDump(RunRecord& record, ErrlEntry*& savedLog);
bool collectUnitDump(RunRecord& record);
void listRepository(RunRecord& record);
void offloadSystemDump(RunRecord& record);
// created: whether the dump was created, so that one gone since is told
// from one that never was.
void requestCheckstopAndDeleteUnitDump(RunRecord& record, bool created);
void readOwnBlocks(RunRecord& record);
void deleteSystemDump(RunRecord& record, bool created);

// Host path of a dump's summary file on the primary.
std::string summaryHostPath(unsigned id);
// Whether a summary file names any intermediate file (read from the host
// file, not through the library); false when it cannot be read.
bool summaryNamesFiles(unsigned id);
// The dumpSize of a dump's state record from dumpSummarizeDumps, 0 when
// there is none.
uint64_t streamSize(unsigned id);

}  // namespace sweep
