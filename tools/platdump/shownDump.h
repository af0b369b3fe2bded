// One dump as `platdump show` presents it: the summary file decoded, and
// what the library reports of the dump now (state, file sizes, client
// record, SRC) as a JSON document. The text form is printed from both.
#pragma once

#include <ostream>

#include "decode/summaryFile.h"
#include "toolJson.h"

namespace platdump {

struct ShownDump {
    decode::SummaryFile file;
    // "dumpId", "kind", "summaryFile", "state", "files", "counters",
    // "clientRecord", "src" (null when the dump has none).
    Json live;
};

Json shownDumpJson(const ShownDump& dump);
void printShownDump(std::ostream& out, const ShownDump& dump);

}  // namespace platdump
