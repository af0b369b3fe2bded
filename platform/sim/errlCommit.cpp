// Committing an entry: the simulation's error log is
// $PLATSIM_ROOT/errlog.jsonl, one JSON object per committed entry.
#include <cstdio>

#include "platform/errlEntry.h"
#include "simCore.h"

namespace {

class Json {
public:
    void open(char c) { sep(); iv_out += c; iv_first = true; }
    void close(char c) { iv_out += c; iv_first = false; }
    void key(const char* k) { sep(); str(k); iv_out += ':'; iv_first = true; }
    void num(uint64_t v) { sep(); iv_out += std::to_string(v); }
    void text(const std::string& s) { sep(); str(s); }
    void field(const char* k, uint64_t v) { key(k); num(v); }
    void field(const char* k, const std::string& v) { key(k); text(v); }
    const std::string& out() const { return iv_out; }

private:
    void sep() {
        if (!iv_first) iv_out += ',';
        iv_first = false;
    }
    void str(const std::string& s) {
        iv_out += '"';
        for (unsigned char c : s) {
            if (c == '"' || c == '\\') {
                iv_out += '\\';
                iv_out += static_cast<char>(c);
            } else if (c < 0x20 || c >= 0x7F) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04x", c);
                iv_out += esc;
            } else {
                iv_out += static_cast<char>(c);
            }
        }
        iv_out += '"';
    }
    std::string iv_out;
    bool iv_first = true;
};

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
    Json j;
    j.open('{');
    j.field("plid", iv_plid);
    j.field("eid", iv_eid);
    j.field("rc", iv_rc);
    j.field("creator", iv_creator);
    j.field("severity", iv_severity);
    j.field("eventType", iv_eventType);
    j.key("srcs");
    j.open('[');
    for (const SrciSrc& s : iv_srcs) {
        j.open('{');
        j.field("type", s.type());
        j.field("component", s.component());
        j.field("reasonCode", s.reasonCode());
        j.field("serviceCode", s.serviceCode());
        j.field("subsystem", s.subsystem());
        j.field("fileNumber", s.fileNumber());
        j.key("words");
        j.open('[');
        for (unsigned i = 1; i <= 4; ++i) j.num(s.userWord(i));
        j.close(']');
        j.field("ascii", s.getAsciiString());
        j.close('}');
    }
    j.close(']');
    j.key("callouts");
    j.open('[');
    for (const ErrlCallout& c : iv_callouts) {
        j.open('{');
        j.field("priority", c.priority);
        j.field("procedure", c.procedure);
        j.close('}');
    }
    j.close(']');
    j.key("callPoints");
    j.open('[');
    for (const ErrlCallPoint& c : iv_callPoints) {
        j.open('{');
        j.field("component", c.component);
        j.field("function", c.function);
        j.field("file", c.file);
        j.field("location", c.location);
        j.field("word", c.word);
        j.close('}');
    }
    j.close(']');
    j.key("traces");
    j.open('[');
    for (const ErrlTrace& t : iv_traces) {
        j.open('{');
        j.field("buffer", t.buffer);
        j.key("lines");
        j.open('[');
        for (const std::string& line : t.lines) j.text(line);
        j.close(']');
        j.close('}');
    }
    j.close(']');
    j.key("userData");
    j.open('[');
    for (const ErrlUserData& u : iv_userData) {
        j.open('{');
        j.field("type", u.type);
        j.field("hex", hex(u.bytes));
        j.close('}');
    }
    j.close(']');
    if (iv_commit.done) {
        j.key("commit");
        j.open('{');
        j.field("component", iv_commit.component);
        j.field("flags", iv_commit.flags);
        j.field("severity", iv_commit.severity);
        j.field("eventType", iv_commit.eventType);
        j.close('}');
    }
    j.close('}');
    return j.out();
}

void ErrlEntry::commit(uint16_t component, uint32_t flags, errlSeverity severity,
                       errlEventType eventType) {
    iv_commit = {true, component, flags, severity, eventType};
    platsim::detail::appendHostLine(platsim::detail::root() + "/errlog.jsonl", toJson());
}
