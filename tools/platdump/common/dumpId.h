// Dump identifiers on the command line and in output. An ID is written in
// hexadecimal, as the repository's file names show it: "1A", "0x1A" and
// "0000001A" all name dump 0x1A.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

namespace platdump {

// Adds the positional argument ID to cmd, parsed straight into id; a text
// that is not a 32-bit hexadecimal number is a usage error. An optional ID
// was given when the option returned counts one.
CLI::Option* addDumpIdArgument(CLI::App* cmd, unsigned int& id, bool required = true);
// The id a text names: up to 8 hexadecimal digits, with or without "0x".
std::optional<unsigned int> parseDumpId(const std::string& text);
// "0x0000001A".
std::string idText(unsigned int id);

}  // namespace platdump
