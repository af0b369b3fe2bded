// A decoded error-log entry (errlogJson.h) as text for a person: the
// entry's ids and return code, each SRC with its location decoded, the
// call points, callouts, user-data sections and collected trace lines.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "toolJson.h"

namespace platdump {

// Every line starts with indent; of each trace only the last traceLines
// lines are shown.
void printErrorLog(std::ostream& out, const Json& decoded, const std::string& indent = "",
                   size_t traceLines = SIZE_MAX);
// One line of the error-log file as decodeCommittedLine gives it: the
// entry, or the line that is no entry.
void printCommittedLog(std::ostream& out, const Json& line);
// One decoded SRC (errlogJson.h decodeSrc), as printErrorLog shows it.
void printSrc(std::ostream& out, const Json& src, const std::string& indent = "");

}  // namespace platdump
