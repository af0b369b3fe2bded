// The simulation root of one fuzzer process: made once, on tmpfs when the
// machine has one (every platform call of the simulation stats and opens
// files below it), removed when the process exits. What an input is
// written to goes there with one call, and what the simulation appends on
// every call (committed error logs, mailbox and system-manager logs) goes
// to /dev/null once the fuzzer's setup is done, so that a run of millions
// of inputs neither grows the root nor pays for the logs' upkeep.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzsupport {

// The process's root, made and made current (PLATSIM_ROOT) on the first
// call: a fresh directory under $PLATDUMP_FUZZ_DIR, else /dev/shm, else
// $TMPDIR or /tmp. This processor's role is set to unknown, so nothing is
// mirrored to a backup, and the free space is fixed at half of the file
// system, so that no write is cut short by the host's real figures.
const std::string& processRoot();

// Host path of a path of the service processor (primary file system) in
// the process's root.
std::string hostPath(const std::string& spPath);

// The file at host path holds exactly the size bytes at data afterwards
// (open, one write, close); aborts when it cannot be written, as a
// fuzzer that cannot set up its input finds nothing.
void writeWhole(const std::string& path, const void* data, size_t size);

// From now on the simulation's logs of the process's root (committed error
// logs, mailbox and system-manager exchanges) are written to /dev/null:
// each log becomes a symbolic link to it, made once. What was logged so far
// is dropped.
void discardLogs();

}  // namespace fuzzsupport
