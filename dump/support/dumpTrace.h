// The library's trace buffer "dump": created when the library is loaded,
// written by every room. A line keeps its format and arguments as given;
// the trace library formats it when the buffer is read. Trace contents are
// diagnostic only.
#pragma once

#include "platform/trace.h"

namespace dump {

// The buffer "dump".
trace_desc_t traceBuffer();

// One printf-style line in "dump". GCC forwards the arguments as they are
// and checks them against the format; other compilers forward them through
// a template, unchecked.
#if defined(__GNUC__) && !defined(__clang__)
inline __attribute__((always_inline, format(printf, 1, 2))) void trace(const char* fmt, ...) {
    trace_adal_write_all(traceBuffer(), fmt, __builtin_va_arg_pack());
}
#else
template <typename... Args>
inline void trace(const char* fmt, Args... args) {
    // A line without arguments is its own text (the format is a literal, kept as one).
    if constexpr (sizeof...(Args) == 0)
        trace_adal_write_all(traceBuffer(), "%s", fmt);
    else
        trace_adal_write_all(traceBuffer(), fmt, args...);
}
#endif

}  // namespace dump
