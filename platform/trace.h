// The platform trace library: named in-memory trace buffers per process.
// Lines are printf-formatted; a buffer keeps its most recent lines, and an
// error-log entry can collect them (ErrlEntry::CollectTrace). A line may be
// kept as its format and arguments and formatted when the buffer is read:
// the format must outlive the buffer (a string literal), while the text a
// %s points to is copied when the line is written.
#pragma once

#include <cstddef>

#include "platformExport.h"

struct trace_buf;
typedef trace_buf* trace_desc_t;

extern "C" {
// Creates (or finds) the buffer named name; 0 on success.
PLATFORM_EXPORT int trace_adal_init_buffer(trace_desc_t* td, const char* name, size_t size);
// Appends one formatted line; 0 on success.
PLATFORM_EXPORT int trace_adal_write_all(trace_desc_t td, const char* fmt, ...)
    __attribute__((format(printf, 2, 3)));
}
