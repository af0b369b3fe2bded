// A decoded offload stream as JSON, every field under its own name and in
// stream order: integers as JSON numbers, times as dates, flags as names,
// byte fields as hex text. The text output of `platdump parse` is made from
// the same document.
#pragma once

#include "decode/streamDecoder.h"
#include "toolJson.h"

namespace platdump {

Json toJson(const decode::DecodedStream& stream);

// The parts that a summary file shares with the stream (platdump show).
Json fileHeaderJson(const decode::FileHeader& header);
Json summaryJson(const decode::SummarySection& summary);
Json findingsJson(const decode::Findings& findings);

}  // namespace platdump
