// File steps shared by the nodal section's sources: a failed step reported
// as its failure-table row, the end of a file, a pending error that is only
// traced, and the close-truncate-reopen the repair uses.
#pragma once

#include <cstdint>

#include "dump/support/report.h"

class DumpUtilFile;
class ErrlEntry;

namespace dump {
namespace nodal {

// First user word of a file failure: the step that failed.
enum FileStep : uint32_t { STEP_CREATE = 1, STEP_OPEN = 2, STEP_SEEK = 3, STEP_WRITE = 4, STEP_READ = 5 };

// A failed file step as a row: addToReceivedError on e at site (reason
// REASON_FILE, words step, word2, 0) and a key/value section key -> path.
// Null when e is null.
ErrlEntry* fileFailure(ErrlEntry* e, Site site, FileStep step, uint32_t word2, const char* key,
                       const char* path);
// The file's pending error as a row: addToReceivedError at site (reason
// REASON_FILE, words step, word2, 0) and a key/value section key -> the file's
// path. Null, and nothing done, when the file has no pending error.
ErrlEntry* fileFailure(DumpUtilFile& file, Site site, FileStep step, uint32_t word2,
                       const char* key);

// The file's length by seeking to its end; -1 when the seek fails (the
// pending error stays for the caller).
int64_t fileEnd(DumpUtilFile& file);

// Traces and deletes the file's pending error, if any; true when there
// was one.
bool dropError(DumpUtilFile& file, const char* during);

// Closes the file, cuts it to length and reopens it with "r+". Returns the
// new end, or -1 when the file could not be reopened or measured (the
// reopen failure is traced). A new end other than length is traced.
int64_t truncateAndReopen(DumpUtilFile& file, uint64_t length);

}  // namespace nodal
}  // namespace dump
