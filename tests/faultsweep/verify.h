// The check of what a run left, in a fresh process with every fault
// removed: the repository lists; each dump in it opens, offloads (without
// main store) a stream the tool's decoder accepts, and deletes with an
// answer that matches what is left; and after the orphan sweep nothing
// remains. Problems go to the record by outcome class, a stream that does
// not decode as the dump's damage; the same offload judges the dumps of a
// snapshot as they lay. `platdump check`'s passes, called as a library
// with the mirror left out, judge the repository of the run's root and of
// each snapshot the lifecycle took; each finding goes to the record with
// the moment it stands for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platdump/dumpExtractData.h"
#include "record.h"

namespace sweep {

// The moments the sweep checks.
constexpr char kBeforeOffload[] = "before the offload";
constexpr char kAfterOffload[] = "after the offload";
constexpr char kAfterRun[] = "after the run";

// The kind under which the record keeps a file the check could not read.
constexpr char kCheckCannotRead[] = "unreadable";

// Checks the repository of the current simulation root ($PLATSIM_ROOT:
// its files only, with no fault armed there) and adds each finding to
// record as found when. A root without a repository (no snapshot was
// taken) is skipped. Returns whether there was a repository to check.
bool checkRoot(RunRecord& record, const char* when);

// The verification of the run's root; the damage of a dump left (its
// offload does not decode) is recorded as found after the run.
void verifyRepository(RunRecord& record);

// The damage of every complete dump of the current root's repository, each
// offloaded through the library with no fault armed, recorded as found
// when. The repository may change (it is a snapshot's).
void offloadAtRest(RunRecord& record, const char* when);

// Extracts the first size bytes of dump id's stream in 64 KiB requests,
// appending what each answers to stream; stops at the first request that
// returns an entry (given to failed, the caller's) or answers no bytes.
// True when the whole stream came.
bool extractStream(unsigned id, uint64_t size, bool withMainStore, dumpDMAEhandle* handle, std::string& stream,
                   ErrlEntry*& failed);

// Decodes a whole offload stream with the tool's decoder; empty when it is
// consistent, else the first error and the number of errors.
std::string streamProblem(const std::string& stream);

// The items of a stream's nodal sections in stream order, each as its
// section kind, entry id (or hardware words) and bytes: what the dump
// holds, whatever the sizes around it say.
std::vector<std::string> streamItems(const std::string& stream);

}  // namespace sweep
