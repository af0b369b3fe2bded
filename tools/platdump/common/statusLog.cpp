#include "statusLog.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

namespace platdump {

namespace {

// The writer formats a line into 64 bytes, its terminating NUL included.
constexpr size_t kLongestLine = 63;

bool keywordCharacter(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'; }

// The event of a "KEYWORD,SECONDS" text; none with why set otherwise.
std::optional<StatusEvent> parseEvent(const std::string& text, std::string& why) {
    size_t comma = text.find(',');
    if (comma == std::string::npos) {
        why = "no comma";
        return std::nullopt;
    }
    std::string keyword = text.substr(0, comma);
    if (keyword.empty()) {
        why = "no keyword before the comma";
        return std::nullopt;
    }
    for (char c : keyword)
        if (!keywordCharacter(c)) {
            why = "the keyword holds a character other than capitals, digits, '_' and '-'";
            return std::nullopt;
        }
    const std::string digits = text.substr(comma + 1);
    const char* start = digits.c_str();
    char* end = nullptr;
    errno = 0;
    long long seconds = digits.empty() ? 0 : std::strtoll(start, &end, 10);
    bool signedDecimal = !digits.empty() && end && *end == '\0' &&
                         digits.find_first_not_of("-0123456789") == std::string::npos;
    if (!signedDecimal) {
        why = "the time is no decimal number of seconds";
        return std::nullopt;
    }
    if (errno == ERANGE || seconds < std::numeric_limits<int32_t>::min() ||
        seconds > std::numeric_limits<int32_t>::max()) {
        why = "the time does not fit the 32 bits it is written from";
        return std::nullopt;
    }
    return StatusEvent{keyword, seconds};
}

}  // namespace

std::vector<StatusLine> statusLines(const std::vector<uint8_t>& bytes) {
    std::vector<StatusLine> lines;
    const std::string all(bytes.begin(), bytes.end());
    for (size_t start = 0; start < all.size();) {
        size_t newline = all.find('\n', start);
        const bool terminated = newline != std::string::npos;
        const size_t end = terminated ? newline : all.size();
        StatusLine line;
        line.number = lines.size() + 1;
        line.text = all.substr(start, end - start);
        std::string why;
        line.event = parseEvent(line.text, why);
        if (!line.event)
            line.problem = why;
        else if (line.text.size() + 1 > kLongestLine)
            line.problem = "longer than the " + std::to_string(kLongestLine) + " characters of a line";
        else if (!terminated)
            line.problem = "no newline: the line was cut";
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

}  // namespace platdump
