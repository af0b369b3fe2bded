// The control files every simulated call consults: the fault files under
// sim/fail, the role in sim/role and the redundancy manager's call log
// sim/rmgr.log. A process that has made a few calls on a root keeps what
// they held in memory and is told by the kernel when to read them again
// (an inotify instance that raises SIGIO on every change, from any process,
// shell or editor), so a call whose files did not change costs no system
// call; until then, and wherever the watch cannot be set up, each look
// reads the file. The design, and what it asks of a process, is in
// platform/sim/README.md. Internal to libplatsim.
#pragma once

#include <string>

namespace platsim {
namespace detail {

// The text of the fault file sim/fail/<call> of root; false when there is
// none. A fault file that exists but cannot be read has the empty text.
bool faultText(const std::string& root, const char* call, std::string& text);

// The role sim/role of root gives: its number, 1 when it is absent or does
// not hold one.
int roleSetting(const std::string& root);

// False when sim/rmgr.log of root is known to be absent.
bool rmgrLogMayExist(const std::string& root);

// This process has just changed a control file itself (the platsim API):
// its next look reads them again without waiting for the notification.
void controlFilesChanged();

// getpid() without a system call: read once, forgotten in a forked child.
int processId();

}  // namespace detail
}  // namespace platsim
