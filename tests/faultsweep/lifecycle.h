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
// lifecycle goes on after a failure wherever a real caller could. It marks
// each step it takes, so that every fault that fires is known by the step
// that was running, and it can take snapshots of the repository around
// the offload for `platdump check`.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "collector/dumpCollector.h"
#include "record.h"

class DumpSummary;
class ErrlEntry;

namespace sweep {

// ---- The simulated machine every run starts from (machine.cpp): the same
// in every run so that two runs' streams compare byte for byte: a standing
// clock, fixed free-space figures, the registry values a dump records and
// extraction reads, a console that answers, and main store holding the
// regions the system dump lists. The error-log numbering starts afresh
// with each root.

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

// Lays the machine out on the current simulation root.
void prepareMachine();

// ---- The lifecycle.

// The kinds of step the lifecycle marks (RunRecord::step), each named
// after the dump it works on: "system dump: summary setter".
namespace step {
constexpr char kCreation[] = "creation";
constexpr char kOpening[] = "opening";
constexpr char kSetter[] = "summary setter";
constexpr char kFailureMarking[] = "collection-failure marking";
constexpr char kSrc[] = "SRC saved and read";
constexpr char kGetter[] = "summary getter";
constexpr char kRegionPrimitives[] = "region primitives";
constexpr char kFileWrite[] = "file written";
constexpr char kNodalWrite[] = "nodal section written";
constexpr char kNodalFinalisation[] = "nodal section finalised";
constexpr char kSystemSection[] = "system section gathered";
constexpr char kCompletion[] = "completion";
constexpr char kDestruction[] = "summary destroyed";
constexpr char kListing[] = "listing";
constexpr char kOffload[] = "offload";
constexpr char kCheckstop[] = "checkstop request";
constexpr char kWithdrawal[] = "main store withdrawn";
constexpr char kDeletion[] = "deletion";
constexpr char kOwnBlocks[] = "own blocks";
constexpr char kHelpers[] = "error-log helpers";
constexpr char kMaintenanceLock[] = "code-maintenance lock";
constexpr char kSystemDump[] = "system dump";
constexpr char kUnitDump[] = "unit dump";
constexpr char kRepository[] = "repository";
}  // namespace step

// Marks the beginning of a step of kind on the dump named (step::kSystemDump, ...).
void during(RunRecord& record, const char* dump, const char* kind);

// The name of the step that marks a snapshot of the moment when
// ("snapshot: before the offload").
std::string snapshotStep(const std::string& when);

// A snapshot of this service processor's files as they stand, taken with
// plain host file calls (no platform call, so no fault fires): the tree
// primary/ of the root copied into <snapshot>/primary, for `platdump check`
// and an offload to read later on a root of its own. Empty: none is taken.
struct Snapshots {
    std::string beforeOffload, afterOffload;
};

// The whole lifecycle on the current simulation root.
void runLifecycle(RunRecord& record, const Snapshots& snapshots);

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
