// Committing an entry: the simulation's error log is
// $PLATSIM_ROOT/errlog.jsonl, one JSON object per committed entry, written
// with nlohmann-json. Texts (SRC ascii strings, trace lines, call-point
// names) are written as UTF-8: valid UTF-8 round-trips byte for byte, and a
// byte that is not part of valid UTF-8 becomes U+FFFD, so the line always
// parses (those texts are diagnostics; user data, where bytes matter, is
// written as hex).
#include <nlohmann/json.hpp>

#include "platform/errlEntry.h"
#include "simCore.h"

namespace {

using Json = nlohmann::ordered_json;

std::string hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        s += digits[b >> 4];
        s += digits[b & 0xF];
    }
    return s;
}

}  // namespace

std::string ErrlEntry::toJson() const {
    Json j = {{"plid", iv_plid},         {"eid", iv_eid},
              {"rc", iv_rc},             {"creator", iv_creator},
              {"severity", iv_severity}, {"eventType", iv_eventType}};
    Json& srcs = j["srcs"] = Json::array();
    for (const SrciSrc& s : iv_srcs) {
        Json words = Json::array();
        for (unsigned i = 1; i <= 4; ++i) words.push_back(s.userWord(i));
        srcs.push_back({{"type", s.type()},
                        {"component", s.component()},
                        {"reasonCode", s.reasonCode()},
                        {"serviceCode", s.serviceCode()},
                        {"subsystem", s.subsystem()},
                        {"fileNumber", s.fileNumber()},
                        {"words", words},
                        {"ascii", s.getAsciiString()}});
    }
    Json& callouts = j["callouts"] = Json::array();
    for (const ErrlCallout& c : iv_callouts)
        callouts.push_back({{"priority", c.priority}, {"procedure", c.procedure}});
    Json& callPoints = j["callPoints"] = Json::array();
    for (const ErrlCallPoint& c : iv_callPoints)
        callPoints.push_back({{"component", c.component},
                              {"function", c.function},
                              {"file", c.file},
                              {"location", c.location},
                              {"word", c.word}});
    Json& traces = j["traces"] = Json::array();
    for (const ErrlTrace& t : iv_traces) traces.push_back({{"buffer", t.buffer}, {"lines", t.lines}});
    Json& userData = j["userData"] = Json::array();
    for (const ErrlUserData& u : iv_userData) userData.push_back({{"type", u.type}, {"hex", hex(u.bytes)}});
    if (iv_commit.done)
        j["commit"] = {{"component", iv_commit.component},
                       {"flags", iv_commit.flags},
                       {"severity", iv_commit.severity},
                       {"eventType", iv_commit.eventType}};
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void ErrlEntry::commit(uint16_t component, uint32_t flags, errlSeverity severity,
                       errlEventType eventType) {
    iv_commit = {true, component, flags, severity, eventType};
    platsim::detail::appendHostLine(platsim::detail::root() + "/errlog.jsonl", toJson());
}
