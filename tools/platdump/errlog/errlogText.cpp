#include "errlogText.h"

#include "decode/findings.h"
#include "textFormat.h"

namespace platdump {

namespace {

using decode::hex;

uint64_t number(const Json& j, const char* key) {
    const Json& v = j.contains(key) ? j[key] : Json();
    return v.is_number_integer() ? v.get<uint64_t>() : 0;
}

std::string moduleText(const Json& j) {
    std::string source = j.value("source", "");
    return "module " + hex(number(j, "moduleId"), 4) + " (" + (source.empty() ? "unknown source" : source) +
           ", function " + std::to_string(number(j, "function")) + "), location " +
           hex(number(j, "locationIndex"), 2);
}

void printUserData(std::ostream& out, const Json& u, const std::string& in) {
    out << in << "  user data " << u.value("type", "") << " (" << number(u, "sectionLength") << " bytes)\n";
    printFields(out, u, {"type", "sectionLength"}, in + "    ");
}

void printTrace(std::ostream& out, const Json& t, const std::string& in, size_t lastLines) {
    const Json& lines = t.value("lines", Json::array());
    out << in << "  trace \"" << t.value("buffer", "") << "\", " << lines.size() << " lines";
    size_t skip = lines.size() > lastLines ? lines.size() - lastLines : 0;
    out << (skip ? ", the last " + std::to_string(lastLines) + ":\n" : "\n");
    for (size_t i = skip; i < lines.size(); ++i) out << in << "    " << lines[i].get<std::string>() << "\n";
}

}  // namespace

void printSrc(std::ostream& out, const Json& s, const std::string& in) {
    out << in << "  SRC " << s.value("ascii", "") << "  reason " << hex(number(s, "reasonCode"), 4) << "  service "
        << hex(number(s, "serviceCode"), 4) << "  type " << hex(number(s, "type"), 2) << "  subsystem "
        << hex(number(s, "subsystem"), 2) << "  component " << hex(number(s, "component"), 4) << "\n";
    out << in << "    words";
    for (const Json& w : s.value("words", Json::array())) out << " " << hex(w.get<uint64_t>(), 8);
    out << "\n";
    if (!s.contains("location")) return;
    const Json& l = s["location"];
    out << in << "    location word " << hex(number(l, "word"), 8) << ": " << moduleText(l)
        << (l.value("matchesReasonCode", true) ? "" : " (its reason byte differs from the SRC's)") << "\n";
}

void printErrorLog(std::ostream& out, const Json& e, const std::string& in, size_t traceLines) {
    out << in << "error log plid " << hex(number(e, "plid"), 8) << ", eid " << hex(number(e, "eid"), 8) << ": rc "
        << hex(number(e, "rc")) << ", severity " << hex(number(e, "severity"), 2) << ", event type "
        << number(e, "eventType") << ", creator " << hex(number(e, "creator"), 4) << "\n";
    for (const Json& s : e.value("srcs", Json::array())) printSrc(out, s, in);
    for (const Json& c : e.value("callPoints", Json::array()))
        out << in << "  call point: " << moduleText(c) << ", word " << hex(number(c, "word"), 8) << "\n";
    for (const Json& c : e.value("callouts", Json::array()))
        out << in << "  callout: priority " << number(c, "priority") << ", procedure " << number(c, "procedure")
            << "\n";
    for (const Json& u : e.value("userData", Json::array())) printUserData(out, u, in);
    for (const Json& t : e.value("traces", Json::array())) printTrace(out, t, in, traceLines);
}

void printCommittedLog(std::ostream& out, const Json& e) {
    if (e.contains("plid"))
        printErrorLog(out, e);
    else
        out << "line " << e.value("line", size_t(0)) << " is no entry: " << e.value("unreadable", "") << "\n";
}

}  // namespace platdump
