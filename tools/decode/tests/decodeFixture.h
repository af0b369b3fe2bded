// Shared by the decoder's test files: a byte vector decoded, and its
// findings as text, one "offset error|notice: message" line each.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/streamDecoder.h"
#include "streamBuilder.h"

namespace decodetest {

inline decode::DecodedStream decodeBytes(const std::vector<uint8_t>& bytes) {
    return decode::decodeStream(decode::MemorySource(bytes.data(), bytes.size()));
}

inline std::string describe(const decode::DecodedStream& d) {
    std::string out;
    for (const decode::Finding& f : d.findings.all())
        out += std::to_string(f.offset) + (f.severity == decode::Severity::Error ? " error: " : " notice: ") +
               f.message + "\n";
    return out;
}

}  // namespace decodetest
