// A decoded offload stream as JSON, every field under its own name and in
// stream order: integers as JSON numbers, times as dates, flags as names,
// byte fields as hex text. The text output of `platdump parse` is made from
// the same document.
#pragma once

#include <nlohmann/json.hpp>

#include "decode/streamDecoder.h"

namespace platdump {

using Json = nlohmann::ordered_json;

Json toJson(const decode::DecodedStream& stream);

}  // namespace platdump
