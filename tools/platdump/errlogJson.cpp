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

Json src(const Json& s) {
    Json j = s;
    const Json& words = s.value("words", Json::array());
    if (s.value("component", 0u) == DUMP_COMPONENT_ID && !words.empty())
        j["location"] = location(words[0].get<uint32_t>(), s.value("reasonCode", 0u));
    return j;
}

Json callPoint(const Json& c) {
    Json j{{"component", c.value("component", 0u)}};
    j.update(module(c.value("function", 0u) | c.value("file", 0u)));
    j["locationIndex"] = c.value("location", 0u);
    j["word"] = c.value("word", 0u);
    return j;
}

std::vector<uint8_t> fromHex(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

Json mapped(const Json& list, Json (*decode)(const Json&)) {
    Json out = Json::array();
    for (const Json& item : list) out.push_back(decode(item));
    return out;
}

Json userData(const Json& section) {
    return decodeUserData(section.value("type", ""), fromHex(section.value("hex", "")));
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
        else
            j[key] = value;
    }
    return j;
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
