// Shared by the decoder's test files: a byte vector decoded, and its
// findings as (offset, message) pairs in stream order, a notice's message
// led by "notice: ".
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "decode/streamDecoder.h"
#include "streamBuilder.h"

namespace decodetest {

using Listed = std::vector<std::pair<uint64_t, std::string>>;

inline decode::DecodedStream decodeBytes(const std::vector<uint8_t>& bytes) {
    return decode::decodeStream(decode::MemorySource(bytes.data(), bytes.size()));
}

inline Listed findingsOf(const decode::DecodedStream& d) {
    Listed all;
    for (const decode::Finding& f : d.findings.all())
        all.emplace_back(f.offset, (f.severity == decode::Severity::Notice ? "notice: " : "") + f.message);
    return all;
}

}  // namespace decodetest
