// The Range and If-Range request headers of an attachment download, decided
// against the representation's size and current entity tag. One byte range
// is served (a suffix range included); a set of several ranges, or a bytes
// range that does not parse, is refused as unsatisfiable rather than
// guessed at. A range unit other than bytes is ignored, as is a Range whose
// If-Range names another version, so a resumed download never joins two
// versions of a dump.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace platdump::serve {

struct RangeDecision {
    enum Kind {
        Whole,          // 200: the whole representation
        Partial,        // 206: first and length below
        Unsatisfiable,  // 416, Content-Range: bytes */size
    };
    Kind kind = Whole;
    uint64_t first = 0;
    uint64_t length = 0;  // Whole: the size
    const char* why = "";  // Unsatisfiable: for the error body
};

// range, ifRange: the headers' values, none when absent. etag: the current
// strong entity tag, quotes included.
RangeDecision decideRange(std::optional<std::string_view> range, std::optional<std::string_view> ifRange,
                          std::string_view etag, uint64_t size);

}  // namespace platdump::serve
