#include "router.h"

#include "entryId.h"

namespace platdump::serve {

namespace paths {
std::string entry(uint32_t id) { return std::string(kEntries) + "/" + entryIdText(id); }
std::string attachment(uint32_t id) { return entry(id) + "/" + kAttachment; }
}  // namespace paths

namespace {

constexpr const char* kReadOnly = "GET, HEAD";
constexpr const char* kDeletable = "GET, HEAD, DELETE";

struct Fixed {
    const char* path;
    Resource resource;
};

constexpr Fixed kFixed[] = {
    {paths::kVersions, Resource::Versions},       {paths::kRoot, Resource::ServiceRoot},
    {paths::kSystems, Resource::Systems},         {paths::kSystem, Resource::System},
    {paths::kLogServices, Resource::LogServices}, {paths::kDumpService, Resource::DumpService},
    {paths::kEntries, Resource::Entries},         {paths::kEventService, Resource::EventService},
    {paths::kEventStream, Resource::EventStream},
};

Route found(Resource resource, Method method, const char* allow, uint32_t id = 0) {
    Route r;
    r.resource = resource;
    r.id = id;
    r.allow = allow;
    const bool allowed = method == Method::Get || method == Method::Head ||
                         (method == Method::Delete && allow == kDeletable);
    r.outcome = allowed ? Route::Found : Route::MethodNotAllowed;
    return r;
}

// "<id>" or "<id>/attachment" after the entries path and its slash.
Route entryRoute(std::string_view rest, Method method) {
    const size_t slash = rest.find('/');
    std::string_view segment = rest.substr(0, slash);
    std::string_view tail = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    const bool attachment = tail == paths::kAttachment;
    if (slash != std::string_view::npos && !attachment) return Route{};
    std::optional<uint32_t> id = parseEntryId(segment);
    if (!id) {
        Route r;
        r.outcome = Route::BadId;
        r.badSegment = std::string(segment.substr(0, 64));
        return r;
    }
    if (attachment) return found(Resource::Attachment, method, kReadOnly, *id);
    return found(Resource::Entry, method, kDeletable, *id);
}

}  // namespace

size_t unescapeInPlace(char* text) {
    auto hex = hexDigitValue;
    char* out = text;
    for (const char* in = text; *in;) {
        if (in[0] == '%' && in[1] && in[2] && hex(in[1]) >= 0 && hex(in[2]) >= 0 && (hex(in[1]) | hex(in[2])) != 0) {
            *out++ = static_cast<char>(hex(in[1]) << 4 | hex(in[2]));
            in += 3;
        } else {
            *out++ = *in++;
        }
    }
    *out = '\0';
    return static_cast<size_t>(out - text);
}

Method methodOf(std::string_view method) {
    if (method == "GET") return Method::Get;
    if (method == "HEAD") return Method::Head;
    if (method == "DELETE") return Method::Delete;
    return Method::Other;
}

Route route(std::string_view methodText, std::string_view path) {
    const Method method = methodOf(methodText);
    if (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    for (const Fixed& f : kFixed)
        if (path == f.path) return found(f.resource, method, kReadOnly);
    const std::string_view entries = paths::kEntries;
    if (path.size() > entries.size() + 1 && path.substr(0, entries.size()) == entries && path[entries.size()] == '/')
        return entryRoute(path.substr(entries.size() + 1), method);
    return Route{};
}

}  // namespace platdump::serve
