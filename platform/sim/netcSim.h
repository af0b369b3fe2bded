// The simulated console network's files, shared by the session table and
// the exchanges. Internal to libplatsim.
//
//   sim/netc/sessions   the session table, one line per session:
//                       "<index> <type> <state> <name>" (type: 1 to 4
//                       characters, padded with spaces to 4; the name is
//                       the rest of the line); '#' lines are comments
//   sim/netc/reply.<i>  the data part of session i's response
//   sim/netc/exchanges  one line per request sent:
//                       "<index> <socket type> <timeout> <request image hex>"
#pragma once

#include <cstdint>
#include <string>

#include "simCore.h"

class ErrlEntry;

namespace platsim {
namespace detail {

struct ConsoleSession {
    unsigned index = 0;
    std::string type;  // four characters
    unsigned state = 0;
    std::string name;
};

std::string netcFile(const std::string& name);
// Fault subject of the calls on one session: "session[<index>]", so that
// match=[2] picks session 2 alone.
std::string sessionSubject(unsigned index);

// Parses one table line; false when it is not "<index> <type> <state> <name>"
// with an index and a state below 256 and a type of 1 to 4 characters.
bool parseSessionLine(const std::string& line, ConsoleSession& out);
// Looks session index up: 0 when found, ENOENT when the table has no such
// session (or no table), EBADMSG when a line of the table is malformed.
int findConsoleSession(unsigned index, ConsoleSession& out);

ErrlEntry* netcError(uint16_t reason, const std::string& what, const std::string& subject,
                     int err, const Fault* injected = nullptr);

}  // namespace detail
}  // namespace platsim
