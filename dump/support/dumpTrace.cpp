// The "dump" trace buffer and the library's load-time setup.
#include "dump/support/dumpTrace.h"

#include <cstdarg>
#include <cstdio>

#include "platdump/dumpUsrData.h"
#include "platform/trace.h"

const char KEY_VALUE_SEPARATOR[4] = ":?:";

namespace dump {

namespace {

constexpr size_t kTraceBufferSize = 16 * 1024;

trace_desc_t dumpTraceBuffer() {
    static trace_desc_t td = [] {
        trace_desc_t t = nullptr;
        trace_adal_init_buffer(&t, "dump", kTraceBufferSize);
        return t;
    }();  // GCOVR_EXCL_BR_LINE: the static's guard also has a branch for another thread's initialisation
    return td;
}

// Loading the library creates the trace buffer.
const trace_desc_t g_loadTimeBuffer = dumpTraceBuffer();

}  // namespace

void trace(const char* fmt, ...) {
    char line[256];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(line, sizeof line, fmt, args);
    va_end(args);
    trace_adal_write_all(dumpTraceBuffer(), "%s", line);
}

}  // namespace dump
