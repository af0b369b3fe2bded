// The library's trace buffer "dump": created when the library is loaded,
// written by every room. Trace contents are diagnostic only.
#pragma once

namespace dump {

void trace(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace dump
