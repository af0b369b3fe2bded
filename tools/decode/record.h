// One fixed record of the stream, read whole: its bytes and the stream
// offset where it starts, with big-endian field access at offsets inside
// the record. A field that does not lie wholly inside the record reads as
// zero, so no decoder can read past what was loaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "findings.h"
#include "streamSource.h"

namespace decode {

class Record {
public:
    // Loads length bytes at offset. When they are not all in the stream
    // (or cannot be read) the record stays empty, a finding names the
    // record (what) and where the stream ended, and false is returned.
    bool load(const StreamSource& source, uint64_t offset, size_t length, const std::string& what,
              Findings& findings);

    uint64_t offset() const { return iv_offset; }
    size_t size() const { return iv_bytes.size(); }
    // Stream offset of the field at rel.
    uint64_t at(size_t rel) const { return iv_offset + rel; }

    uint8_t u8(size_t rel) const;
    uint16_t u16(size_t rel) const;
    uint32_t u32(size_t rel) const;
    uint64_t u64(size_t rel) const;
    // The field's bytes as they stand.
    std::vector<uint8_t> bytes(size_t rel, size_t width) const;
    // The field as text: trailing NULs dropped, other bytes outside
    // printable ASCII written as \xNN.
    std::string text(size_t rel, size_t width) const;
    // True when the field holds exactly these characters.
    bool holds(size_t rel, const char* chars, size_t width) const;

private:
    bool fits(size_t rel, size_t width) const { return rel <= iv_bytes.size() && width <= iv_bytes.size() - rel; }
    uint64_t iv_offset = 0;
    std::vector<uint8_t> iv_bytes;
};

// The bytes of a field as readable text (the rule of Record::text).
std::string printable(const uint8_t* bytes, size_t width);

// Reports the stream ending inside (or before) a record: "the stream ends
// at E, inside what (N bytes at O)".
void reportTruncated(Findings& findings, uint64_t offset, uint64_t length, uint64_t streamSize,
                     const std::string& what);

}  // namespace decode

namespace decode {

// An error at the field's offset unless it holds the expected value:
// "field is 65 (0x41), expected 64 (0x40)".
void expectValue(Findings& findings, const Record& record, size_t rel, const std::string& field,
                 uint64_t actual, uint64_t expected);
// An error at the field's offset unless it holds exactly these characters.
void expectChars(Findings& findings, const Record& record, size_t rel, const std::string& field,
                 const char* chars, size_t width);

}  // namespace decode
