// Text output shared by the subcommands: a JSON value as a person reads it,
// the members of a JSON object as aligned "name  value" lines, and byte
// counts in binary units.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>

#include "toolJson.h"

namespace platdump {

// Numbers as decode::num ("5232 (0x1470)"), booleans as yes/no, null as
// "-", arrays comma-separated.
std::string fieldValue(const Json& value);
// One line per member not in skip, names padded to the longest, each line
// starting with indent.
void printFields(std::ostream& out, const Json& object, std::initializer_list<const char*> skip = {},
                 const std::string& indent = "  ");
// The text of a fixed-width character field: up to its first NUL.
std::string fieldText(const char* field, size_t width);
// "512 B", "1.5 KiB", "3.0 MiB", "2.0 GiB".
std::string byteSize(uint64_t bytes);

}  // namespace platdump
