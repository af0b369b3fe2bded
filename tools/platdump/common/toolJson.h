// The JSON document type of every platdump subcommand (members keep the
// order in which they are added) and how a document is printed.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

namespace platdump {

using Json = nlohmann::ordered_json;

// Indented by two, non-ASCII bytes of text replaced rather than rejected.
void printJson(std::ostream& out, const Json& document);
// Bytes as lower-case hex text.
std::string hexText(const std::vector<uint8_t>& bytes);

}  // namespace platdump
