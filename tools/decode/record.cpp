#include "record.h"

#include <cstdio>
#include <cstring>

#include "platform/bigEndian.h"

namespace decode {

bool Record::load(const StreamSource& source, uint64_t offset, size_t length, const std::string& what,
                  Findings& findings) {
    iv_offset = offset;
    iv_bytes.clear();
    uint64_t size = source.size();
    if (offset > size || length > size - offset) {
        reportTruncated(findings, offset, length, size, what);
        return false;
    }
    std::vector<uint8_t> bytes(length);
    if (!source.read(offset, length, bytes.data())) {
        findings.error(offset, "cannot read " + what + " (" + num(length) + " bytes at " + num(offset) + ")");
        return false;
    }
    iv_bytes.swap(bytes);
    return true;
}

uint8_t Record::u8(size_t rel) const { return fits(rel, 1) ? be::getU8(iv_bytes.data(), rel) : 0; }
uint16_t Record::u16(size_t rel) const { return fits(rel, 2) ? be::getU16(iv_bytes.data(), rel) : 0; }
uint32_t Record::u32(size_t rel) const { return fits(rel, 4) ? be::getU32(iv_bytes.data(), rel) : 0; }
uint64_t Record::u64(size_t rel) const { return fits(rel, 8) ? be::getU64(iv_bytes.data(), rel) : 0; }

std::vector<uint8_t> Record::bytes(size_t rel, size_t width) const {
    if (!fits(rel, width)) return std::vector<uint8_t>(width, 0);
    return std::vector<uint8_t>(iv_bytes.begin() + rel, iv_bytes.begin() + rel + width);
}

std::string Record::text(size_t rel, size_t width) const {
    if (!fits(rel, width)) return std::string();
    return printable(iv_bytes.data() + rel, width);
}

bool Record::holds(size_t rel, const char* chars, size_t width) const {
    return fits(rel, width) && std::memcmp(iv_bytes.data() + rel, chars, width) == 0;
}

std::string printable(const uint8_t* bytes, size_t width) {
    while (width > 0 && bytes[width - 1] == 0) --width;
    std::string out;
    for (size_t i = 0; i < width; ++i) {
        uint8_t c = bytes[i];
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
            continue;
        }
        char esc[8];
        std::snprintf(esc, sizeof esc, "\\x%02X", c);
        out += esc;
    }
    return out;
}

void reportTruncated(Findings& findings, uint64_t offset, uint64_t length, uint64_t streamSize,
                     const std::string& what) {
    const char* where = offset >= streamSize ? ", before " : ", inside ";
    findings.error(offset, "the stream ends at " + num(streamSize) + where + what + " (" + num(length) +
                               " bytes at " + num(offset) + ")");
}

}  // namespace decode

namespace decode {

void expectValue(Findings& findings, const Record& record, size_t rel, const std::string& field,
                 uint64_t actual, uint64_t expected) {
    if (actual == expected) return;
    findings.error(record.at(rel), field + " is " + num(actual) + ", expected " + num(expected));
}

void expectChars(Findings& findings, const Record& record, size_t rel, const std::string& field,
                 const char* chars, size_t width) {
    if (record.holds(rel, chars, width)) return;
    findings.error(record.at(rel), field + " is \"" + record.text(rel, width) + "\", expected \"" +
                                       printable(reinterpret_cast<const uint8_t*>(chars), width) + "\"");
}

}  // namespace decode
