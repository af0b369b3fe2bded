// Shared by the decoder's test files: decoding a byte vector, and the
// findings of a decoded stream by offset.
#pragma once

#include <string>
#include <vector>

#include "decode/streamDecoder.h"
#include "streamBuilder.h"
#include "tests/common/simTest.h"

namespace decodetest {

inline decode::DecodedStream decodeBytes(const std::vector<uint8_t>& bytes) {
    decode::MemorySource source(bytes.data(), bytes.size());
    return decode::decodeStream(source);
}

inline std::vector<uint64_t> errorOffsets(const decode::DecodedStream& d) {
    std::vector<uint64_t> offsets;
    for (const decode::Finding& f : d.findings.all())
        if (f.severity == decode::Severity::Error) offsets.push_back(f.offset);
    return offsets;
}

// The message of the first finding of this severity at offset that
// contains text, or "" when there is none.
inline std::string findingAt(const decode::DecodedStream& d, uint64_t offset, const std::string& text,
                             decode::Severity severity = decode::Severity::Error) {
    for (const decode::Finding& f : d.findings.all())
        if (f.offset == offset && f.severity == severity && f.message.find(text) != std::string::npos)
            return f.message;
    return "";
}

inline std::string describe(const decode::DecodedStream& d) {
    std::string out;
    for (const decode::Finding& f : d.findings.all())
        out += std::to_string(f.offset) + (f.severity == decode::Severity::Error ? " error: " : " notice: ") +
               f.message + "\n";
    return out;
}

}  // namespace decodetest
