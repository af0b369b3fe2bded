// How `platdump check` prints its report: one line per finding and the
// verdict for a person, or one JSON document for a script.
#pragma once

#include <cstddef>
#include <ostream>

#include "checkReport.h"
#include "toolJson.h"

namespace platdump {
namespace check {

// {"consistent": bool, "dumps": N, "findings": [{"kind", "dump", "path", "detail"}]}, the dump as
// "0x0000001A" or null.
Json reportJson(const Report& report, size_t dumps);
// One line per finding ("0x0000001A  kind  path: detail", "-" for no dump),
// then the verdict.
void printReport(std::ostream& out, const Report& report, size_t dumps);

}  // namespace check
}  // namespace platdump
