// Dump identifiers in the server's URLs: hexadecimal, as everywhere in the
// tool ("1A", "0x1A" and "0000001A" name dump 0x1A). A resource's own URL
// and Id carry the eight-digit form of the repository's file names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platdump::serve {

// The id a URL segment names; none when it is not 1 to 8 hexadecimal
// digits, with or without a leading "0x".
std::optional<uint32_t> parseEntryId(std::string_view text);
// The value of a hexadecimal digit; -1 for any other character.
int hexDigitValue(char c);
// "0000001A".
std::string entryIdText(uint32_t id);

}  // namespace platdump::serve
