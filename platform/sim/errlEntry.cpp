// ErrlEntry: construction, the parts of an entry, and its byte image.
//
// Image (big-endian):
//   0 "ERRL" | 4 u32 total length | 8 u16 version (1) | 10 u8 severity |
//   11 u8 event type | 12 u16 creator | 14 u16 0 | 16 u32 plid | 20 u32 eid |
//   24 u32 return code | 28 u16 SRCs | 30 u16 callouts | 32 u16 call points |
//   34 u16 traces | 36 u16 user-data sections | 38 u16 0 |
//   40 the SRC images (SrciSrc), callouts (priority, procedure),
//   call points (u16 component, u16 function, u8 file, u8 location, u16 0,
//   u32 word), traces (u16 name length, name, u16 lines, each u16 length and
//   text), user data (u16 type length, type, u32 length, bytes).
#include "platform/errlEntry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>

#include "platform/bigEndian.h"
#include "simCore.h"
#include "simTrace.h"

using platsim::detail::fault;

namespace {

constexpr uint32_t kHeaderSize = 40;
constexpr size_t kTraceLinesCollected = 64;

// Next error-log id of this simulation root, shared by its processes.
uint32_t nextLogId() {
    std::string path = platsim::detail::root() + "/sim/errl.seq";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return 0x50000001;
    ::flock(fd, LOCK_EX);
    char buf[32] = {0};
    unsigned long value = 0x50000000;
    if (::pread(fd, buf, sizeof buf - 1, 0) > 0) std::sscanf(buf, "%lx", &value);
    ++value;
    int len = std::snprintf(buf, sizeof buf, "%08lx\n", value);
    if (::pwrite(fd, buf, len, 0) != len) {
        // ids stay unique within the process even if the file is not updated
    }
    ::flock(fd, LOCK_UN);
    ::close(fd);
    return static_cast<uint32_t>(value);
}

class Writer {
public:
    explicit Writer(std::vector<uint8_t>& out) : iv_out(out) {}
    void u8(uint8_t v) { iv_out.push_back(v); }
    void u16(uint16_t v) { grow(2); be::putU16(iv_out.data(), iv_out.size() - 2, v); }
    void u32(uint32_t v) { grow(4); be::putU32(iv_out.data(), iv_out.size() - 4, v); }
    void bytes(const void* p, size_t n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        iv_out.insert(iv_out.end(), b, b + n);
    }
    void text16(const std::string& s) {
        u16(static_cast<uint16_t>(s.size()));
        bytes(s.data(), s.size());
    }

private:
    void grow(size_t n) { iv_out.resize(iv_out.size() + n); }
    std::vector<uint8_t>& iv_out;
};

class Reader {
public:
    Reader(const uint8_t* p, uint32_t size) : iv_p(p), iv_size(size) {}
    bool ok() const { return iv_ok; }
    bool need(uint32_t n) {
        if (!iv_ok || iv_size - iv_pos < n) iv_ok = false;
        return iv_ok;
    }
    uint8_t u8() { return need(1) ? iv_p[iv_pos++] : 0; }
    uint16_t u16() { return need(2) ? advance(be::getU16(iv_p, iv_pos), 2) : 0; }
    uint32_t u32() { return need(4) ? advance(be::getU32(iv_p, iv_pos), 4) : 0; }
    std::string text(uint32_t n) {
        if (!need(n)) return {};
        std::string s(reinterpret_cast<const char*>(iv_p + iv_pos), n);
        iv_pos += n;
        return s;
    }
    const uint8_t* here() const { return iv_p + iv_pos; }
    uint32_t left() const { return iv_size - iv_pos; }
    void skip(uint32_t n) {
        if (need(n)) iv_pos += n;
    }

private:
    template <typename T>
    T advance(T v, uint32_t n) {
        iv_pos += n;
        return v;
    }
    const uint8_t* iv_p;
    uint32_t iv_size;
    uint32_t iv_pos = 0;
    bool iv_ok = true;
};

}  // namespace

ErrlEntry::ErrlEntry(uint16_t component, errlSeverity severity, errlEventType eventType)
    : iv_creator(component), iv_severity(severity), iv_eventType(eventType) {
    iv_eid = nextLogId();
    iv_plid = iv_eid;
}

ErrlEntry::ErrlEntry(uint16_t component, errlSeverity severity, errlEventType eventType,
                     srciType type, uint32_t word, uint8_t fileNumber, serviceCodes serviceCode,
                     uint16_t reasonCode, uint32_t userWord1, uint32_t userWord2,
                     uint32_t userWord3, uint32_t userWord4, epubSubSystem subsystem,
                     srciTermState termState, srciSrcFormats format)
    : ErrlEntry(component, severity, eventType) {
    iv_srcs.emplace_back(component, type, word, fileNumber, serviceCode, reasonCode, userWord1,
                         userWord2, userWord3, userWord4, subsystem, termState, format);
}

ErrlEntry::ErrlEntry(uint16_t component, errlSeverity severity, errlEventType eventType,
                     const SrciSrc& src)
    : ErrlEntry(component, severity, eventType) {
    iv_srcs.push_back(src);
}

ErrlEntry::~ErrlEntry() = default;

void ErrlEntry::addSRC(uint16_t component, srciType type, uint32_t word, uint8_t fileNumber,
                       serviceCodes serviceCode, uint16_t reasonCode, uint32_t userWord1,
                       uint32_t userWord2, uint32_t userWord3, uint32_t userWord4,
                       epubSubSystem subsystem) {
    iv_srcs.emplace_back(component, type, word, fileNumber, serviceCode, reasonCode, userWord1,
                         userWord2, userWord3, userWord4, subsystem);
}

const SrciSrc* ErrlEntry::getSRC(uint32_t index) const {
    return index < iv_srcs.size() ? &iv_srcs[index] : nullptr;
}

void ErrlEntry::addSwErr(uint16_t component, uint16_t function, uint8_t fileNumber,
                         uint8_t location, uint32_t word) {
    iv_callPoints.push_back({component, function, fileNumber, location, word});
}

void ErrlEntry::addProcedureCallout(srciPriority priority, epubProcedureID procedure) {
    iv_callouts.push_back({priority, procedure});
}

void ErrlEntry::CollectTrace(const char* bufferName, uint32_t size) {
    size_t lines = size ? size / 64 + 1 : kTraceLinesCollected;
    iv_traces.push_back({bufferName, platsim::detail::recentTraceLines(bufferName, lines)});
}

void ErrlEntry::addUsrData(const std::string& type, const uint8_t* data, uint32_t size) {
    iv_userData.push_back({type, std::vector<uint8_t>(data, data + size)});
}

uint32_t ErrlEntry::flattenedSize() const {
    uint32_t size = kHeaderSize;
    for (const SrciSrc& s : iv_srcs) size += s.flattenedSize();
    size += 2 * iv_callouts.size() + 12 * iv_callPoints.size();
    for (const ErrlTrace& t : iv_traces) {
        size += 4 + t.buffer.size();
        for (const std::string& line : t.lines) size += 2 + line.size();
    }
    for (const ErrlUserData& u : iv_userData) size += 6 + u.type.size() + u.bytes.size();
    return size;
}

uint32_t ErrlEntry::flatten(void* buffer, uint32_t size) const {
    if (fault("ErrlEntry.flatten", "")) return 1;
    uint32_t total = flattenedSize();
    if (!buffer || size < total) return 2;
    std::vector<uint8_t> out;
    out.reserve(total);
    Writer w(out);
    w.bytes("ERRL", 4);
    w.u32(total);
    w.u16(1);
    w.u8(iv_severity);
    w.u8(iv_eventType);
    w.u16(iv_creator);
    w.u16(0);
    w.u32(iv_plid);
    w.u32(iv_eid);
    w.u32(iv_rc);
    w.u16(static_cast<uint16_t>(iv_srcs.size()));
    w.u16(static_cast<uint16_t>(iv_callouts.size()));
    w.u16(static_cast<uint16_t>(iv_callPoints.size()));
    w.u16(static_cast<uint16_t>(iv_traces.size()));
    w.u16(static_cast<uint16_t>(iv_userData.size()));
    w.u16(0);
    for (const SrciSrc& s : iv_srcs) {
        size_t at = out.size();
        out.resize(at + s.flattenedSize());
        s.flattenTo(out.data() + at);
    }
    for (const ErrlCallout& c : iv_callouts) {
        w.u8(c.priority);
        w.u8(c.procedure);
    }
    for (const ErrlCallPoint& c : iv_callPoints) {
        w.u16(c.component);
        w.u16(c.function);
        w.u8(c.file);
        w.u8(c.location);
        w.u16(0);
        w.u32(c.word);
    }
    for (const ErrlTrace& t : iv_traces) {
        w.text16(t.buffer);
        w.u16(static_cast<uint16_t>(t.lines.size()));
        for (const std::string& line : t.lines) w.text16(line);
    }
    for (const ErrlUserData& u : iv_userData) {
        w.text16(u.type);
        w.u32(static_cast<uint32_t>(u.bytes.size()));
        w.bytes(u.bytes.data(), u.bytes.size());
    }
    std::memcpy(buffer, out.data(), out.size());
    return 0;
}

ErrlEntry* ErrlEntry::unflatten(const void* buffer, uint32_t size) {
    Reader r(static_cast<const uint8_t*>(buffer), size);
    if (r.text(4) != "ERRL") return nullptr;
    uint32_t total = r.u32();
    if (!r.ok() || total > size || r.u16() != 1) return nullptr;
    Reader in(static_cast<const uint8_t*>(buffer), total);
    in.skip(10);
    errlSeverity severity = static_cast<errlSeverity>(in.u8());
    errlEventType eventType = static_cast<errlEventType>(in.u8());
    uint16_t creator = in.u16();
    in.skip(2);
    uint32_t plid = in.u32(), eid = in.u32(), rc = in.u32();
    uint16_t nSrc = in.u16(), nCallout = in.u16(), nCallPoint = in.u16();
    uint16_t nTrace = in.u16(), nUser = in.u16();
    in.skip(2);
    if (!in.ok()) return nullptr;

    ErrlEntry* e = new ErrlEntry(creator, severity, eventType);
    e->iv_plid = plid;
    e->iv_eid = eid;
    e->iv_rc = rc;
    for (uint16_t i = 0; i < nSrc && in.ok(); ++i) {
        SrciSrc s;
        uint32_t used = 0;
        if (s.unflattenFrom(in.here(), in.left(), used) != 0) {
            delete e;
            return nullptr;
        }
        in.skip(used);
        e->iv_srcs.push_back(s);
    }
    for (uint16_t i = 0; i < nCallout && in.ok(); ++i) {
        srciPriority p = static_cast<srciPriority>(in.u8());
        e->iv_callouts.push_back({p, static_cast<epubProcedureID>(in.u8())});
    }
    for (uint16_t i = 0; i < nCallPoint && in.ok(); ++i) {
        ErrlCallPoint c;
        c.component = in.u16();
        c.function = in.u16();
        c.file = in.u8();
        c.location = in.u8();
        in.skip(2);
        c.word = in.u32();
        e->iv_callPoints.push_back(c);
    }
    for (uint16_t i = 0; i < nTrace && in.ok(); ++i) {
        ErrlTrace t;
        t.buffer = in.text(in.u16());
        uint16_t lines = in.u16();
        for (uint16_t j = 0; j < lines && in.ok(); ++j) t.lines.push_back(in.text(in.u16()));
        e->iv_traces.push_back(t);
    }
    for (uint16_t i = 0; i < nUser && in.ok(); ++i) {
        ErrlUserData u;
        u.type = in.text(in.u16());
        uint32_t n = in.u32();
        if (in.need(n)) u.bytes.assign(in.here(), in.here() + n);
        in.skip(n);
        e->iv_userData.push_back(u);
    }
    if (!in.ok() || in.left() != 0) {
        delete e;
        return nullptr;
    }
    return e;
}
