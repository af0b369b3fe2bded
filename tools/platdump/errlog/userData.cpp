#include "userData.h"

#include <algorithm>
#include <functional>
#include <map>

#include "decode/record.h"
#include "platform/bigEndian.h"

namespace platdump {

namespace {

using Bytes = std::vector<uint8_t>;
using be::getU32;

const std::string kSeparator = ":?:";  // between a key and its value

// Readable text of bytes [from, from + width), stopping at a NUL.
std::string textAt(const Bytes& b, size_t from, size_t width) {
    size_t n = 0;
    while (n < width && from + n < b.size() && b[from + n] != 0) ++n;
    return decode::printable(b.data() + from, n);
}

// Splits text on the separator; the piece after the last separator is
// kept only when it is not empty.
std::vector<std::string> splitOnSeparator(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(kSeparator, start)) != std::string::npos; start = at + kSeparator.size())
        parts.push_back(text.substr(start, at - start));
    if (start < text.size()) parts.push_back(text.substr(start));
    return parts;
}

// A section of another kind that holds only printable text.
bool printableText(const Bytes& b) {
    return !b.empty() && std::all_of(b.begin(), b.end(), [](uint8_t c) { return c >= 0x20 && c < 0x7F; });
}

// Each decoder fills the fields of a section whose length it has checked;
// false when the bytes do not fit the layout.
using Decoder = std::function<bool(const Bytes&, Json&)>;

// key, separator, value, one unwritten byte.
bool keyValue(const Bytes& b, Json& j) {
    if (b.size() < kSeparator.size() + 1) return false;
    std::string text(b.begin(), b.end() - 1);
    size_t at = text.find(kSeparator);
    if (at == std::string::npos) return false;
    const Bytes key(b.begin(), b.begin() + at), value(b.begin() + at + kSeparator.size(), b.end() - 1);
    j["key"] = decode::printable(key.data(), key.size());
    j["value"] = decode::printable(value.data(), value.size());
    return true;
}

// Each string followed by the separator.
bool multiKeyValue(const Bytes& b, Json& j) {
    Json strings = Json::array();
    for (const std::string& s : splitOnSeparator(std::string(b.begin(), b.end())))
        strings.push_back(decode::printable(reinterpret_cast<const uint8_t*>(s.data()), s.size()));
    j["strings"] = strings;
    return true;
}

bool bufferData(const Bytes& b, Json& j) {
    if (b.size() != 16) return false;
    j["buffer"] = getU32(b.data(), 0);
    j["length"] = getU32(b.data(), 4);
    j["positionHigh"] = getU32(b.data(), 8);
    j["positionLow"] = getU32(b.data(), 12);
    return true;
}

// size word, flag word, the key, four unwritten bytes.
bool utilRegistry(const Bytes& b, Json& j) {
    if (b.size() < 12) return false;
    j["size"] = getU32(b.data(), 0);
    j["flag"] = getU32(b.data(), 4);
    j["key"] = textAt(b, 8, b.size() - 12);
    return true;
}

bool tocEntry(const Bytes& b, Json& j) {
    if (b.size() != 12) return false;
    j["words"] = Json::array({getU32(b.data(), 0), getU32(b.data(), 4), getU32(b.data(), 8)});
    return true;
}

bool clientRecord(const Bytes& b, Json& j) {
    if (b.size() != 72) return false;
    j["toolType"] = getU32(b.data(), 0);
    j["clientId"] = textAt(b, 4, 32);
    j["userId"] = textAt(b, 36, 33);
    return true;
}

// Words picked from the facility entry, named by their offset in it.
bool hwFacilityEntry(const Bytes& b, Json& j) {
    if (b.size() != 36) return false;
    static const size_t kEntryOffsets[] = {48, 0, 4, 12, 16, 20, 24, 36};
    for (size_t i = 0; i < 8; ++i) j["entryWord" + std::to_string(kEntryOffsets[i])] = getU32(b.data(), i * 4);
    j["entryByte52"] = b[32];
    return true;
}

bool registryState(const Bytes& b, Json& j) {
    if (b.size() != 20) return false;
    j["dumpPending"] = b[0];
    j["dumpPolicy"] = getU32(b.data(), 4);
    j["hwUnitDumpId"] = getU32(b.data(), 8);
    j["systemDumpId"] = getU32(b.data(), 12);
    return true;
}

const std::map<std::string, Decoder>& decoders() {
    static const std::map<std::string, Decoder> table = {
        {"DumpKeyValueStringInfo", keyValue},    {"DumpMultiKeyValueStringsInfo", multiKeyValue},
        {"DumpBufferDataInfo", bufferData},      {"DumpUtilRegistryInfo", utilRegistry},
        {"DumpTocEntryInfo", tocEntry},          {"DumpClientRecordInfo", clientRecord},
        {"DumpHwFacilityEntryInfo", hwFacilityEntry}, {"DumpRegistryInfo", registryState},
    };
    return table;
}

}  // namespace

Json decodeUserData(const std::string& type, const std::vector<uint8_t>& bytes) {
    Json j{{"type", type}, {"sectionLength", bytes.size()}};
    auto it = decoders().find(type);
    Json fields = Json::object();
    if (it != decoders().end() && it->second(bytes, fields)) {
        j.update(fields);
        return j;
    }
    if (printableText(bytes))
        j["text"] = std::string(bytes.begin(), bytes.end());
    else
        j["hex"] = hexText(bytes);
    return j;
}

}  // namespace platdump
