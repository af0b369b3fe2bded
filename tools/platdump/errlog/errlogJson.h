// An error-log entry as the platform files it (one JSON object, as in the
// simulation's errlog.jsonl or ErrlEntry::toJson), decoded for a service
// engineer: each SRC's location word split into module id, source file,
// function and location index, each call point's module named, and each
// user-data section decoded (userData.h). The other members are kept.
#pragma once

#include <string>

#include "toolJson.h"

class ErrlEntry;
class SrciSrc;

namespace platdump {

// record: one committed entry. Members it lacks are left out.
Json decodeErrorLog(const Json& record);
// One line of the error-log file: the entry decoded, or, for a line that is
// no entry (no object with a plid, or a member the tool shows of another
// type), {"line": number, "unreadable": line}, so nothing is hidden.
Json decodeCommittedLine(size_t number, const std::string& line);
// The same for an entry the tool holds.
Json decodeEntry(const ErrlEntry& entry);
// One SRC with the members of a committed entry's SRC, decoded the same way.
Json decodeSrc(const SrciSrc& src);
// The library's name of a source-file number (low byte of a module id);
// "" when it is not one of the library's.
std::string sourceFileName(unsigned fileNumber);

}  // namespace platdump
