#include "dumpId.h"

#include <cstdio>

namespace platdump {

namespace {

// Converts the hexadecimal text in place to decimal, the form CLI11 stores
// into the option's variable; an error text when it is no 32-bit id.
std::string hexToDecimal(std::string& text) {
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits.erase(0, 2);
    if (digits.empty() || digits.size() > 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return "a dump ID is up to 8 hexadecimal digits, not \"" + text + "\"";
    text = std::to_string(std::stoul(digits, nullptr, 16));
    return "";
}

}  // namespace

CLI::Option* addDumpIdArgument(CLI::App* cmd, unsigned int& id, bool required) {
    return cmd->add_option("ID", id, "The dump's identifier, in hexadecimal (1A, 0x1A, 0000001A)")
        ->required(required)
        ->transform(CLI::Validator(hexToDecimal, "HEX"));
}

std::string idText(unsigned int id) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", id);
    return buf;
}

}  // namespace platdump
