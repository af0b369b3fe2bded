// Creates an error log the way the library reports a failure, annotates it
// with a call point and a key/value section, commits it and prints the
// record the simulated error log received.
#include <cstdio>

#include "platdump/platdump.h"
#include "platform/sim/platsim.h"

int main() {
    std::printf("simulation root: %s\n", platsim::root().c_str());
    ErrlEntry* e = dumpCreateErrorLog(1, 0xF00B, 0x0113, 9, 0x1A, 0, 0);
    dumpAddFunctionCallPoint(e, 0x0221, 0x20, 0x1A);
    dumpAddDetails(DumpKeyValueStringInfo(DUMP_COMPONENT_ID, "Dump Summary Header file",
                                          "/plat_dump/SYSDUMP.0000001A.summary"),
                   e);
    std::printf("location word: 0x%08X\n", dumpCreateUniqueLocation(0xF00B, 0x0113, 9));
    dumpCommitAndFreeLog(e);
    std::vector<std::string> logs = platsim::committedErrorLogs();
    if (logs.empty() || e != nullptr) {
        std::fprintf(stderr, "the error log was not committed\n");
        return 1;
    }
    std::printf("committed record (%s):\n%s\n", platsim::errlogPath().c_str(), logs.back().c_str());
    return 0;
}
