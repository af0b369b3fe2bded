// Trace buffers of this process, as kept by the simulated trace library.
// Internal to libplatsim.
#pragma once

#include <string>
#include <vector>

namespace platsim {
namespace detail {

// The most recent lines of the named buffer (at most maxLines), oldest
// first; empty when no such buffer exists.
std::vector<std::string> recentTraceLines(const std::string& name, size_t maxLines);

}  // namespace detail
}  // namespace platsim
