#include "entryId.h"

#include <cstdio>

namespace platdump::serve {

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<uint32_t> parseEntryId(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    if (text.empty() || text.size() > 8) return std::nullopt;
    uint32_t id = 0;
    for (char c : text) {
        int d = hexDigitValue(c);
        if (d < 0) return std::nullopt;
        id = id << 4 | static_cast<uint32_t>(d);
    }
    return id;
}

std::string entryIdText(uint32_t id) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", id);
    return text;
}

}  // namespace platdump::serve
