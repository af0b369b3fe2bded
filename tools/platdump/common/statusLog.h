// A dump's status log as lines: the collector and the offload program
// append one "KEYWORD,SECONDS\n" line per event (the keyword in capitals,
// digits, '_' and '-', the seconds a signed 32-bit decimal), each at most
// 63 characters with its newline. Shared by `status`, which shows the
// events, and `check`, which reports every line of another form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platdump {

struct StatusEvent {
    std::string keyword;
    int64_t seconds = 0;
};

struct StatusLine {
    size_t number = 0;  // from 1
    std::string text;   // without its newline
    // The event, when the text has the event form (even if the line is
    // otherwise damaged, such as a last line without its newline).
    std::optional<StatusEvent> event;
    // Why the line is not one the log's writer makes; "" when it is.
    std::string problem;
};

// The lines of a status log's bytes, in order.
std::vector<StatusLine> statusLines(const std::vector<uint8_t>& bytes);

}  // namespace platdump
