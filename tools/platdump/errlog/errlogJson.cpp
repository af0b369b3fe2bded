#include "errlogJson.h"

#include "platdump/dumpTypes.h"
#include "platform/errlEntry.h"
#include "userData.h"

namespace platdump {

namespace {

struct SourceFile {
    unsigned number;
    const char* name;
};
const SourceFile kSourceFiles[] = {
    {0x05, "system information"}, {0x06, "extraction list"},       {0x0D, "DeleteDump"},
    {0x0F, "dumpNodalSection"},   {0x13, "dumpSummary"},           {0x15, "dumpSystemNodal"},
    {0x17, "dumpUtilFile"},       {0x18, "code-maintenance lock"}, {0x1C, "dumpCollections"},
    {0x1E, "file data block"},    {0x1F, "main-store access"},     {0x21, "dumpExtractData"},
    {0x22, "data-block base"},
};

// A module id as (function number << 8) | source-file number.
Json module(unsigned moduleId) {
    return Json{{"moduleId", moduleId},
                {"source", sourceFileName(moduleId & 0xFF)},
                {"function", (moduleId >> 8) & 0xFF}};
}

// Location word: (module id << 16) | ((reason code & 0xFF) << 8) | index.
Json location(uint32_t word, uint16_t reasonCode) {
    Json j{{"word", word}};
    j.update(module(word >> 16));
    j["locationIndex"] = word & 0xFF;
    j["matchesReasonCode"] = ((word >> 8) & 0xFF) == (reasonCode & 0xFFu);
    return j;
}

// The members the printers show are read here with the types they are
// shown as: a member of another type throws Json::type_error, and the
// line is shown as no entry.
const Json::array_t& arrayOf(const Json& j) { return j.get_ref<const Json::array_t&>(); }
const Json::object_t& objectOf(const Json& j) { return j.get_ref<const Json::object_t&>(); }
// Numbers of an entry are unsigned integers (a float beyond the range of
// the field once made its conversion undefined).
uint64_t unsignedOf(const Json& j) { return j.get_ref<const Json::number_unsigned_t&>(); }
uint32_t member32(const Json& j, const char* key) {
    auto it = j.find(key);
    return it == j.end() ? 0 : static_cast<uint32_t>(unsignedOf(*it));
}

Json src(const Json& s) {
    Json j = objectOf(s);
    const Json& words = s.value("words", Json::array());
    for (const Json& w : arrayOf(words)) unsignedOf(w);
    s.value("ascii", std::string());
    j.erase("location");  // only the decoded one
    if (member32(s, "component") == DUMP_COMPONENT_ID && !words.empty())
        j["location"] = location(static_cast<uint32_t>(unsignedOf(words[0])),
                                 static_cast<uint16_t>(member32(s, "reasonCode")));
    return j;
}

Json trace(const Json& t) {
    const Json given = t.value("lines", Json::array());
    Json lines = Json::array();
    for (const Json& line : arrayOf(given)) lines.push_back(line.get<std::string>());
    return Json{{"buffer", t.value("buffer", std::string())}, {"lines", lines}};
}

Json callPoint(const Json& c) {
    Json j{{"component", member32(c, "component")}};
    j.update(module(member32(c, "function") | member32(c, "file")));
    j["locationIndex"] = member32(c, "location");
    j["word"] = member32(c, "word");
    return j;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// False when the text is no whole number of hex digit pairs.
bool fromHex(const std::string& hex, std::vector<uint8_t>& bytes) {
    if (hex.size() % 2) return false;
    for (size_t i = 0; i < hex.size(); i += 2) {
        int high = hexDigit(hex[i]), low = hexDigit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return true;
}

Json mapped(const Json& list, Json (*decode)(const Json&)) {
    Json out = Json::array();
    for (const Json& item : arrayOf(list)) out.push_back(decode(objectOf(item)));
    return out;
}

// A section whose bytes are damaged keeps its text, said to be damaged.
Json userData(const Json& section) {
    const std::string type = section.value("type", ""), hex = section.value("hex", "");
    std::vector<uint8_t> bytes;
    if (!fromHex(hex, bytes)) return Json{{"type", type}, {"damagedHex", hex}};
    return decodeUserData(type, bytes);
}

// Deeper than any entry nests, shallow enough for the members kept as they
// are, which are copied and printed recursively: a line nested deeper is
// no entry (one of 100000 levels once overflowed the stack).
constexpr int kMaxDepth = 64;

Json parseLine(const std::string& line) {
    bool tooDeep = false;
    Json record = Json::parse(
        line,
        [&tooDeep](int depth, Json::parse_event_t, Json&) {
            if (depth > kMaxDepth) tooDeep = true;
            return !tooDeep;
        },
        false);
    return tooDeep ? Json() : record;
}

}  // namespace

std::string sourceFileName(unsigned fileNumber) {
    for (const SourceFile& f : kSourceFiles)
        if (f.number == fileNumber) return f.name;
    return "";
}

Json decodeErrorLog(const Json& record) {
    Json j = Json::object();
    for (auto& [key, value] : record.items()) {
        if (key == "srcs")
            j[key] = mapped(value, src);
        else if (key == "callPoints")
            j[key] = mapped(value, callPoint);
        else if (key == "userData")
            j[key] = mapped(value, userData);
        else if (key == "traces")
            j[key] = mapped(value, trace);
        else
            j[key] = value;
    }
    return j;
}

Json decodeCommittedLine(size_t number, const std::string& line) {
    Json record = parseLine(line);
    if (record.is_object() && record.contains("plid") && record["plid"].is_number_unsigned()) {
        try {
            return decodeErrorLog(record);
        } catch (const Json::exception&) {
        }
    }
    return Json{{"line", number}, {"unreadable", line}};
}

Json decodeSrc(const SrciSrc& s) {
    Json record{{"type", unsigned(s.type())},
                {"component", s.component()},
                {"reasonCode", s.reasonCode()},
                {"serviceCode", unsigned(s.serviceCode())},
                {"subsystem", unsigned(s.subsystem())},
                {"fileNumber", s.fileNumber()},
                {"words", Json::array({s.userWord(1), s.userWord(2), s.userWord(3), s.userWord(4)})},
                {"ascii", s.getAsciiString()},
                {"extraLength", s.extraData().size()}};
    return src(record);
}

Json decodeEntry(const ErrlEntry& entry) {
    return decodeErrorLog(Json::parse(entry.toJson(), nullptr, false));
}

}  // namespace platdump
