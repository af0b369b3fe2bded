// The check of what a run left, in a fresh process with every fault
// removed: the repository lists; each dump in it opens, offloads (without
// main store) a stream the tool's decoder accepts, and deletes with an
// answer that matches what is left; and after the orphan sweep nothing
// remains. Problems go to the record by outcome class.
#pragma once

#include <string>
#include <vector>

#include "record.h"

namespace sweep {

void verifyRepository(RunRecord& record);

// Decodes a whole offload stream with the tool's decoder; empty when it is
// consistent, else the first error and the number of errors.
std::string streamProblem(const std::string& stream);

// The items of a stream's nodal sections in stream order, each as its
// section kind, entry id (or hardware words) and bytes: what the dump
// holds, whatever the sizes around it say.
std::vector<std::string> streamItems(const std::string& stream);

}  // namespace sweep
