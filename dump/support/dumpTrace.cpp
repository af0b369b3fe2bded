// The "dump" trace buffer and the library's load-time setup.
#include "dump/support/dumpTrace.h"

#include "platdump/dumpUsrData.h"

const char KEY_VALUE_SEPARATOR[4] = ":?:";

namespace dump {

namespace {

constexpr size_t kTraceBufferSize = 16 * 1024;

}  // namespace

trace_desc_t traceBuffer() {
    static trace_desc_t td = [] {
        trace_desc_t t = nullptr;
        trace_adal_init_buffer(&t, "dump", kTraceBufferSize);
        return t;
    }();  // GCOVR_EXCL_BR_LINE: the static's guard also has a branch for another thread's initialisation
    return td;
}

namespace {

// Loading the library creates the trace buffer.
const trace_desc_t g_loadTimeBuffer = traceBuffer();

}  // namespace

}  // namespace dump
