#include "dumpId.h"

#include <cstdio>

namespace platdump {

std::optional<unsigned int> parseDumpId(const std::string& text) {
    size_t at = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') ? 2 : 0;
    if (text.size() == at || text.size() - at > 8) return std::nullopt;
    unsigned int id = 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        unsigned digit = c >= '0' && c <= '9'   ? c - '0'
                         : c >= 'a' && c <= 'f' ? c - 'a' + 10
                         : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                : 16;
        if (digit == 16) return std::nullopt;
        id = id << 4 | digit;
    }
    return id;
}

CLI::Option* addDumpIdArgument(CLI::App* cmd, unsigned int& id, bool required) {
    auto parse = [&id](const CLI::results_t& texts) {
        std::optional<unsigned int> parsed = parseDumpId(texts.back());
        if (!parsed)
            throw CLI::ValidationError("ID", "a dump ID is up to 8 hexadecimal digits, not \"" + texts.back() + "\"");
        id = *parsed;
        return true;
    };
    return cmd->add_option("ID", CLI::callback_t(parse), "The dump's identifier, in hexadecimal (1A, 0x1A, 0000001A)")
        ->required(required)
        ->type_name("HEX");
}

std::string idText(unsigned int id) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", id);
    return buf;
}

}  // namespace platdump
