// What `platdump mirror` did and found, and how it is printed: each action
// as one line when it is taken (for a person), or everything as one JSON
// document at the end (for a script).
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "mirrorPlan.h"
#include "toolJson.h"

namespace platdump {
namespace mirror {

struct Action {
    int round = 1;
    Difference difference;
    bool done = false;  // false: planned only (a dry run), or not done (why says why)
    std::string why;
};

struct Outcome {
    bool dryRun = false;
    int rounds = 0;     // rounds that acted
    size_t files = 0;   // compared in the last comparison
    std::vector<Action> actions;
    Comparison last;    // the last comparison: empty when the backup matches
    std::vector<std::string> reasons;  // why the backup does not match
    bool matches() const { return last.matches(); }
};

// "copy     /plat_dump/HwData.26: bytes ... differ", with " (not done: why)"
// when it was not done.
void printAction(std::ostream& out, const Action& action);
// "14 files compared, 3 actions in 1 round: the backup now matches ...".
void printVerdict(std::ostream& out, const Outcome& outcome);
// {"dryRun", "matches", "rounds", "files", "actions": [{"round", "action",
// "dump", "path", "offset", "length", "hereSize", "copySize", "detail",
// "done", "why"}], "reasons": [...]}, the dump as "0x0000001A" or null.
Json outcomeJson(const Outcome& outcome);

}  // namespace mirror
}  // namespace platdump
