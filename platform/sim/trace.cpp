// The trace library on the host: each process keeps its named buffers in
// memory, each a ring of its most recent lines. A line is kept as its
// format and arguments (the text a %s points to copied, since it may not
// outlive the call) and formatted only when the buffer is read, so that
// tracing costs a call next to nothing.
#include "platform/trace.h"

#include <sched.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "simTrace.h"

namespace {

constexpr size_t kBytesPerLine = 64;
constexpr size_t kMinLines = 64;
constexpr size_t kMaxLine = 256;   // a formatted line is cut to this, its end included
constexpr size_t kMaxArgs = 16;    // arguments kept per line (* widths included)
constexpr size_t kTextBytes = kMaxLine;  // the copied strings of one line

// One conversion of a format: "%-08llx" and what it takes.
struct Conversion {
    enum Kind { Literal, Int, Unsigned, Double, String, Pointer, Stop } kind = Literal;
    char length = 0;  // 'H' hh, 'h', 'l', 'L' ll (or q), 'j', 'z', 't'
    bool starWidth = false, starPrecision = false;
    const char* begin = nullptr;  // the conversion, '%' to its letter
    const char* end = nullptr;
};

// The conversion at fmt (just past a '%'). Stop for what a line cannot
// keep: %n, %m, wide characters and strings, long doubles, and anything
// unknown; the line then ends there.
Conversion parseConversion(const char* fmt) {
    Conversion s;
    s.begin = fmt - 1;
    const char* p = fmt;
    if (*p == '%') {
        s.end = p + 1;
        return s;
    }
    while (*p && std::strchr("-+ #0'", *p)) ++p;
    if (*p == '*') {
        s.starWidth = true;
        ++p;
    }
    while (*p >= '0' && *p <= '9') ++p;
    if (*p == '.') {
        ++p;
        if (*p == '*') {
            s.starPrecision = true;
            ++p;
        }
        while (*p >= '0' && *p <= '9') ++p;
    }
    if (p[0] == 'h' && p[1] == 'h') s.length = 'H', p += 2;
    else if (p[0] == 'l' && p[1] == 'l') s.length = 'L', p += 2;
    else if (*p == 'q') s.length = 'L', ++p;
    else if (*p && std::strchr("hljzt", *p)) s.length = *p++;
    s.kind = Conversion::Stop;
    switch (*p) {
    case 'd': case 'i': s.kind = Conversion::Int; break;
    case 'o': case 'u': case 'x': case 'X': s.kind = Conversion::Unsigned; break;
    case 'c': if (s.length == 0) s.kind = Conversion::Int; break;
    case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A':
        if (s.length == 0 || s.length == 'l') s.kind = Conversion::Double;
        break;
    case 's': if (s.length == 0) s.kind = Conversion::String; break;
    case 'p': s.kind = Conversion::Pointer; break;
    default: break;
    }
    s.end = *p ? p + 1 : p;
    return s;
}

// What one argument is, as va_arg must take it: the conversion's kind and
// length modifier in one.
enum class Take : uint8_t {
    Int, Unsigned, Long, UnsignedLong, LongLong, UnsignedLongLong, IntMax, UnsignedIntMax,
    Size, PtrDiff, Double, Pointer, String,
};

Take takeOf(Conversion::Kind kind, char length) {
    const bool sign = kind == Conversion::Int;
    switch (kind) {
    case Conversion::Double: return Take::Double;
    case Conversion::Pointer: return Take::Pointer;
    case Conversion::String: return Take::String;
    default: break;
    }
    switch (length) {
    case 'l': return sign ? Take::Long : Take::UnsignedLong;
    case 'L': return sign ? Take::LongLong : Take::UnsignedLongLong;
    case 'j': return sign ? Take::IntMax : Take::UnsignedIntMax;
    case 'z': return Take::Size;
    case 't': return Take::PtrDiff;
    default: return sign ? Take::Int : Take::Unsigned;
    }
}

// One traced line: its format and the arguments it was given.
struct Line {
    const char* fmt = nullptr;  // formats are string literals: they outlive the line
    size_t count = 0;           // arguments kept
    union Arg {
        uint64_t integer;
        double real;
        const void* pointer;
        size_t text;  // offset of a copied string in texts
    } args[kMaxArgs];
    size_t textUsed = 0;
    char texts[kTextBytes];
};

// What a format takes from its arguments, in order (a * width or precision
// is an int of its own); worked out once per format.
struct Plan {
    const char* fmt = nullptr;
    size_t count = 0;
    bool intsOnly = true;  // every argument an int or an unsigned: the common line
    Take takes[kMaxArgs];
};

// Stops at the first conversion a line cannot keep, or where the
// arguments would overflow a line.
Plan makePlan(const char* fmt) {
    Plan plan;
    plan.fmt = fmt;
    for (const char* p = std::strchr(fmt, '%'); p; p = std::strchr(p, '%')) {
        Conversion s = parseConversion(p + 1);
        p = s.end;
        if (s.kind == Conversion::Literal) continue;
        size_t needed = size_t(s.starWidth) + size_t(s.starPrecision) + 1;
        if (s.kind == Conversion::Stop || plan.count + needed > kMaxArgs) break;
        if (s.starWidth) plan.takes[plan.count++] = Take::Int;
        if (s.starPrecision) plan.takes[plan.count++] = Take::Int;
        plan.takes[plan.count++] = takeOf(s.kind, s.length);
    }
    for (size_t i = 0; i < plan.count; ++i)
        plan.intsOnly &= plan.takes[i] == Take::Int || plan.takes[i] == Take::Unsigned;
    return plan;
}

// The plan of fmt, from a small table of the formats seen (a format's
// address picks its slot; one that collides is worked out again).
// Guarded by the trace lock.
const Plan& planFor(const char* fmt) {
    static Plan plans[512];
    Plan& slot = plans[(reinterpret_cast<uintptr_t>(fmt) >> 2) % 512];
    if (__builtin_expect(slot.fmt != fmt, 0)) slot = makePlan(fmt);
    return slot;
}

// Keeps fmt and its arguments in line; the strings its %s take are copied
// while they fit (a line's text is cut where a formatted line would be).
void keep(Line& line, const char* fmt, va_list& args) {
    const Plan& plan = planFor(fmt);
    line.fmt = fmt;
    line.textUsed = 0;
    size_t i = 0;
    if (plan.intsOnly) {
        for (; i < plan.count; ++i)
            line.args[i].integer = plan.takes[i] == Take::Int ? uint64_t(int64_t(va_arg(args, int)))
                                                              : va_arg(args, unsigned);
        line.count = i;
        return;
    }
    for (; i < plan.count; ++i) {
        Line::Arg& a = line.args[i];
        switch (plan.takes[i]) {
        case Take::Int: a.integer = uint64_t(int64_t(va_arg(args, int))); break;
        case Take::Unsigned: a.integer = va_arg(args, unsigned); break;
        case Take::Long: a.integer = uint64_t(int64_t(va_arg(args, long))); break;
        case Take::UnsignedLong: a.integer = va_arg(args, unsigned long); break;
        case Take::LongLong: a.integer = uint64_t(va_arg(args, long long)); break;
        case Take::UnsignedLongLong: a.integer = va_arg(args, unsigned long long); break;
        case Take::IntMax: a.integer = uint64_t(va_arg(args, intmax_t)); break;
        case Take::UnsignedIntMax: a.integer = va_arg(args, uintmax_t); break;
        case Take::Size: a.integer = va_arg(args, size_t); break;
        case Take::PtrDiff: a.integer = uint64_t(int64_t(va_arg(args, ptrdiff_t))); break;
        case Take::Double: a.real = va_arg(args, double); break;
        case Take::Pointer: a.pointer = va_arg(args, const void*); break;
        case Take::String: {
            const char* text = va_arg(args, const char*);
            if (!text) text = "(null)";
            size_t room = kTextBytes - line.textUsed;
            if (room == 0) {
                line.count = i;
                return;
            }
            size_t n = strnlen(text, room - 1);
            std::memcpy(line.texts + line.textUsed, text, n);
            line.texts[line.textUsed + n] = '\0';
            a.text = line.textUsed;
            line.textUsed += n + 1;
            break;
        }
        }
    }
    line.count = i;
}

// Appends one conversion of s with the kept argument(s) at arg to out.
void formatConversion(std::string& out, const Conversion& s, const Line& line, size_t& arg) {
    std::string conversion(s.begin, s.end);
    // A * becomes the number it was given, so that each call takes one value.
    for (bool star : {s.starWidth, s.starPrecision}) {
        if (!star) continue;
        size_t at = conversion.find('*');
        conversion.replace(at, 1, std::to_string(int64_t(line.args[arg++].integer)));
    }
    const Line::Arg& a = line.args[arg++];
    char piece[kMaxLine];
    const char* format = conversion.c_str();
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    switch (s.kind) {
    case Conversion::Double: std::snprintf(piece, sizeof piece, format, a.real); break;
    case Conversion::Pointer: std::snprintf(piece, sizeof piece, format, a.pointer); break;
    case Conversion::String: std::snprintf(piece, sizeof piece, format, line.texts + a.text); break;
    default:
        switch (s.length) {
        case 'l': std::snprintf(piece, sizeof piece, format, static_cast<long>(a.integer)); break;
        case 'L': std::snprintf(piece, sizeof piece, format, static_cast<long long>(a.integer)); break;
        case 'j': std::snprintf(piece, sizeof piece, format, static_cast<intmax_t>(a.integer)); break;
        case 'z': std::snprintf(piece, sizeof piece, format, static_cast<size_t>(a.integer)); break;
        case 't': std::snprintf(piece, sizeof piece, format, static_cast<ptrdiff_t>(a.integer)); break;
        default: std::snprintf(piece, sizeof piece, format, static_cast<int>(a.integer)); break;
        }
    }
#pragma GCC diagnostic pop
    out += piece;
}

// The line as vsnprintf would have written it (cut to kMaxLine - 1).
std::string format(const Line& line) {
    std::string out;
    size_t arg = 0;
    const char* p = line.fmt;
    while (const char* percent = std::strchr(p, '%')) {
        out.append(p, percent);
        Conversion s = parseConversion(percent + 1);
        p = s.end;
        if (s.kind == Conversion::Literal) {
            out += '%';
            continue;
        }
        size_t needed = size_t(s.starWidth) + size_t(s.starPrecision) + 1;
        if (s.kind == Conversion::Stop || arg + needed > line.count) {
            p = "";
            break;
        }
        formatConversion(out, s, line, arg);
    }
    out += p;
    if (out.size() > kMaxLine - 1) out.resize(kMaxLine - 1);
    return out;
}

}  // namespace

struct trace_buf {
    std::string name;
    size_t capacity;   // lines kept
    std::vector<Line> ring;  // grows to capacity, then wraps
    size_t next = 0;   // where the next line goes once the ring is full
};

namespace {

// The buffers' lock: held for a few dozen instructions at a time, so a
// waiter yields rather than sleeps.
class TraceLock {
public:
    TraceLock() {
        while (__atomic_test_and_set(&s_held, __ATOMIC_ACQUIRE)) sched_yield();
    }
    ~TraceLock() { __atomic_clear(&s_held, __ATOMIC_RELEASE); }
    TraceLock(const TraceLock&) = delete;
    TraceLock& operator=(const TraceLock&) = delete;

private:
    static bool s_held;
};
bool TraceLock::s_held = false;

std::map<std::string, std::unique_ptr<trace_buf>>& buffers() {
    static auto* b = new std::map<std::string, std::unique_ptr<trace_buf>>;  // lives to exit
    return *b;
}

}  // namespace

extern "C" int trace_adal_init_buffer(trace_desc_t* td, const char* name, size_t size) {
    if (!td || !name) return -1;
    TraceLock lock;
    auto& slot = buffers()[name];
    if (!slot) {
        slot.reset(new trace_buf);
        slot->name = name;
        slot->capacity = std::max(kMinLines, size / kBytesPerLine);
    }
    *td = slot.get();
    return 0;
}

extern "C" int trace_adal_write_all(trace_desc_t td, const char* fmt, ...) {
    if (!td || !fmt) return -1;
    TraceLock lock;
    Line* line;
    if (__builtin_expect(td->ring.size() < td->capacity, 0)) {
        td->ring.emplace_back();
        line = &td->ring.back();
    } else {
        line = &td->ring[td->next];
        if (++td->next == td->capacity) td->next = 0;
    }
    va_list args;
    va_start(args, fmt);
    keep(*line, fmt, args);
    va_end(args);
    return 0;
}

namespace platsim {
namespace detail {

std::vector<std::string> recentTraceLines(const std::string& name, size_t maxLines) {
    TraceLock lock;
    auto it = buffers().find(name);
    if (it == buffers().end()) return {};
    const trace_buf& b = *it->second;
    size_t count = std::min(maxLines, b.ring.size());
    std::vector<std::string> lines;
    lines.reserve(count);
    // Oldest first: the ring's oldest line is at next once it is full.
    size_t start = b.ring.size() < b.capacity ? b.ring.size() - count
                                              : (b.next + b.capacity - count) % b.capacity;
    for (size_t i = 0; i < count; ++i) lines.push_back(format(b.ring[(start + i) % b.ring.size()]));
    return lines;
}

}  // namespace detail
}  // namespace platsim
