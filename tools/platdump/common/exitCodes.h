// The exit codes of every platdump subcommand.
#pragma once

namespace platdump {

constexpr int kExitOk = 0;      // the operation succeeded (parse: the stream is consistent)
constexpr int kExitFailed = 1;  // the operation failed (parse: unreadable, or inconsistencies found)
constexpr int kExitUsage = 2;   // the command line was wrong

}  // namespace platdump
