// The user-data sections that the dump library attaches to error logs,
// decoded by their class name and fixed big-endian layouts: key/value
// texts, buffer positions, registry keys, TOC entry words, client records,
// hardware facility entries and the dump component's registry state. A
// section of another class, or whose length does not fit its layout, is
// given as text when it is all printable, else as hex.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolJson.h"

namespace platdump {

// {"type", "sectionLength", then the named fields, or "text" or "hex"}.
Json decodeUserData(const std::string& type, const std::vector<uint8_t>& bytes);

}  // namespace platdump
