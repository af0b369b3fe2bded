// The trace library on the host: each process keeps its named buffers in
// memory, each a ring of its most recent lines.
#include "platform/trace.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "simTrace.h"

struct trace_buf {
    std::string name;
    size_t capacity;  // lines kept
    std::deque<std::string> lines;
};

namespace {

constexpr size_t kBytesPerLine = 64;
constexpr size_t kMinLines = 64;
constexpr size_t kMaxLine = 256;

std::mutex& traceMutex() {
    static std::mutex m;
    return m;
}

std::map<std::string, std::unique_ptr<trace_buf>>& buffers() {
    static auto* b = new std::map<std::string, std::unique_ptr<trace_buf>>;  // lives to exit
    return *b;
}

}  // namespace

extern "C" int trace_adal_init_buffer(trace_desc_t* td, const char* name, size_t size) {
    if (!td || !name) return -1;
    std::lock_guard<std::mutex> lock(traceMutex());
    auto& slot = buffers()[name];
    if (!slot) {
        slot.reset(new trace_buf);
        slot->name = name;
        slot->capacity = std::max(kMinLines, size / kBytesPerLine);
    }
    *td = slot.get();
    return 0;
}

extern "C" int trace_adal_write_all(trace_desc_t td, const char* fmt, ...) {
    if (!td || !fmt) return -1;
    char line[kMaxLine];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(line, sizeof line, fmt, args);
    va_end(args);
    std::lock_guard<std::mutex> lock(traceMutex());
    td->lines.emplace_back(line);
    while (td->lines.size() > td->capacity) td->lines.pop_front();
    return 0;
}

namespace platsim {
namespace detail {

std::vector<std::string> recentTraceLines(const std::string& name, size_t maxLines) {
    std::lock_guard<std::mutex> lock(traceMutex());
    auto it = buffers().find(name);
    if (it == buffers().end()) return {};
    const auto& lines = it->second->lines;
    size_t start = lines.size() > maxLines ? lines.size() - maxLines : 0;
    return std::vector<std::string>(lines.begin() + static_cast<long>(start), lines.end());
}

}  // namespace detail
}  // namespace platsim
