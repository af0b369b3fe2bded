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

struct Snapshots;

// The moments the sweep checks.
constexpr char kBeforeOffload[] = "before the offload";
constexpr char kAfterOffload[] = "after the offload";
constexpr char kAfterRun[] = "after the run";

// The kind under which the record keeps a file the check could not read.
constexpr char kCheckCannotRead[] = "unreadable";

// The check process's work, with no fault armed: `platdump check` and an
// offload of every complete dump on each snapshot that was taken (its
// moment's damage), then on the run's root `platdump check` and the
// verification (after the run).
void checkRun(RunRecord& record, const std::string& root, const Snapshots& snapshots);

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
