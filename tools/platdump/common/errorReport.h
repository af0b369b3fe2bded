// How a subcommand reports a failure: one line naming the command and what
// failed, then, when the library handed back an error log, that entry
// decoded. The tool owns such entries: it reports and deletes them, and
// commits nothing.
#pragma once

#include <ostream>
#include <string>

class ErrlEntry;

namespace platdump {

// "platdump <command>: <message>", then the decoded entry (if any, with the
// last lines of its traces), which is deleted and nulled.
void reportFailure(std::ostream& err, const std::string& command, const std::string& message, ErrlEntry*& entry);
void reportFailure(std::ostream& err, const std::string& command, const std::string& message);
// One line for an entry: "rc 0x1A, SRC B100F00B, location word 0x01130B06".
std::string briefError(const ErrlEntry& entry);

}  // namespace platdump
