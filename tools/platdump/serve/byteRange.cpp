#include "byteRange.h"

#include <limits>

namespace platdump::serve {

namespace {

constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Decimal digits only; a value beyond 64 bits saturates (it lies beyond any
// representation either way). None when empty or not all digits.
std::optional<uint64_t> number(std::string_view s) {
    if (s.empty()) return std::nullopt;
    uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        unsigned d = static_cast<unsigned>(c - '0');
        v = v > (kMax - d) / 10 ? kMax : v * 10 + d;
    }
    return v;
}

RangeDecision whole(uint64_t size) { return RangeDecision{RangeDecision::Whole, 0, size, ""}; }

RangeDecision refused(const char* why) { return RangeDecision{RangeDecision::Unsatisfiable, 0, 0, why}; }

// An If-Range holding the current tag keeps the Range; any other value (a
// weak or stale tag, a date: no Last-Modified is ever sent) drops it.
bool ifRangeHolds(std::optional<std::string_view> ifRange, std::string_view etag) {
    return !ifRange || trimmed(*ifRange) == etag;
}

}  // namespace

RangeDecision decideRange(std::optional<std::string_view> range, std::optional<std::string_view> ifRange,
                          std::string_view etag, uint64_t size) {
    if (!range) return whole(size);
    std::string_view rangeSet = trimmed(*range);
    const size_t eq = rangeSet.find('=');
    if (eq == std::string_view::npos) return refused("a Range header is bytes=FIRST-LAST, bytes=FIRST- or bytes=-SUFFIX");
    if (!equalsNoCase(trimmed(rangeSet.substr(0, eq)), "bytes")) return whole(size);  // a unit this server has not
    if (!ifRangeHolds(ifRange, etag)) return whole(size);
    rangeSet = trimmed(rangeSet.substr(eq + 1));
    if (rangeSet.find(',') != std::string_view::npos) return refused("one byte range per request is served");
    const size_t dash = rangeSet.find('-');
    if (dash == std::string_view::npos) return refused("a byte range holds a '-'");
    std::string_view firstText = trimmed(rangeSet.substr(0, dash)), lastText = trimmed(rangeSet.substr(dash + 1));

    if (firstText.empty()) {  // suffix: the last N bytes
        std::optional<uint64_t> suffix = number(lastText);
        if (!suffix) return refused("a suffix range is bytes=-N, N decimal");
        if (*suffix == 0 || size == 0) return refused("the suffix range selects no byte");
        const uint64_t n = *suffix < size ? *suffix : size;
        return RangeDecision{RangeDecision::Partial, size - n, n, ""};
    }
    std::optional<uint64_t> first = number(firstText);
    if (!first) return refused("a byte range's first position is decimal");
    uint64_t last = kMax;
    if (!lastText.empty()) {
        std::optional<uint64_t> l = number(lastText);
        if (!l) return refused("a byte range's last position is decimal");
        if (*l < *first) return refused("a byte range's last position is below its first");
        last = *l;
    }
    if (*first >= size) return refused("the range starts at or beyond the end of the attachment");
    if (last >= size) last = size - 1;
    return RangeDecision{RangeDecision::Partial, *first, last - *first + 1, ""};
}

}  // namespace platdump::serve
