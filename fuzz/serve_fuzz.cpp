// Fuzzer of the request handling of `platdump serve` that needs no server:
// the path's unescaping, the router, the dump id in a URL, and the Range /
// If-Range decision. The input: eight bytes of representation size (big-
// endian, cut to 48 bits), then lines: method, path, Range, If-Range. Each
// answer must hold together: a range lies inside the representation, an
// entry's id routes back to itself, an id's text parses back to it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "byteRange.h"
#include "entryId.h"
#include "router.h"

namespace {

using namespace platdump::serve;

void check(bool holds) {
    if (!holds) __builtin_trap();
}

std::vector<std::string> lines(const std::string& text, size_t count) {
    std::vector<std::string> out;
    size_t start = 0;
    while (out.size() + 1 < count) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) break;
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    out.push_back(start <= text.size() ? text.substr(start) : "");
    out.resize(count);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint64_t representation = 0;
    for (size_t i = 0; i < 8 && i < size; ++i) representation = representation << 8 | data[i];
    representation &= (1ull << 48) - 1;
    const std::string text = size > 8 ? std::string(reinterpret_cast<const char*>(data) + 8, size - 8) : "";
    const std::vector<std::string> field = lines(text, 4);

    std::vector<char> path(field[1].begin(), field[1].end());
    path.push_back('\0');
    const size_t length = unescapeInPlace(path.data());
    check(length == std::strlen(path.data()) && length <= field[1].size());

    const Route r = route(field[0], path.data());
    if (r.outcome == Route::Found && (r.resource == Resource::Entry || r.resource == Resource::Attachment)) {
        const Route back = route("GET", r.resource == Resource::Entry ? paths::entry(r.id) : paths::attachment(r.id));
        check(back.outcome == Route::Found && back.resource == r.resource && back.id == r.id);
    }
    if (r.outcome == Route::BadId) check(r.badSegment.size() <= 64);
    if (r.outcome == Route::MethodNotAllowed) check(std::strlen(r.allow) > 0);

    if (std::optional<uint32_t> id = parseEntryId(field[1])) check(parseEntryId(entryIdText(*id)) == id);

    const std::string etag = "\"0000001A-00112233aabbccdd\"";
    const RangeDecision d = decideRange(field[2], field[3], etag, representation);
    switch (d.kind) {
        case RangeDecision::Whole: check(d.first == 0 && d.length == representation); break;
        case RangeDecision::Partial:
            check(d.length >= 1 && d.first < representation && d.length <= representation - d.first);
            break;
        case RangeDecision::Unsatisfiable: check(std::strlen(d.why) > 0); break;
    }
    return 0;
}
