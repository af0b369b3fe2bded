// Which resource a request names and whether its method applies: a pure
// function of the method and the (already percent-decoded) path, so that it
// can be fuzzed. The tree:
//
//   /redfish                                            protocol versions
//   /redfish/v1                                         service root
//   /redfish/v1/Systems                                 systems
//   /redfish/v1/Systems/system                          the managed system
//   /redfish/v1/Systems/system/LogServices              its log services
//   /redfish/v1/Systems/system/LogServices/Dump         the dump log service
//   .../Dump/Entries                                    one entry per dump
//   .../Dump/Entries/<id>                               a dump (DELETE too)
//   .../Dump/Entries/<id>/attachment                    its offload stream
//   /redfish/v1/EventService                            the event service
//   /redfish/v1/EventService/SSE                        its event stream
//
// One trailing slash is accepted on every path.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platdump::serve {

enum class Resource {
    Versions,
    ServiceRoot,
    Systems,
    System,
    LogServices,
    DumpService,
    Entries,
    Entry,
    Attachment,
    EventService,
    EventStream,
};

enum class Method { Get, Head, Delete, Other };

struct Route {
    enum Outcome {
        Found,
        NotFound,          // 404: no such resource
        BadId,             // 400: an entry segment that is no hexadecimal id
        MethodNotAllowed,  // 405, with allow
    };
    Outcome outcome = NotFound;
    Resource resource = Resource::ServiceRoot;
    uint32_t id = 0;          // Entry, Attachment
    std::string badSegment;   // BadId: the segment as given
    const char* allow = "";  // the methods the resource takes ("GET, HEAD")
};

// Decodes the percent escapes of a NUL-terminated URL path or query value in
// place (the server's unescaper), and returns its new length. "%00" stays as
// written: a NUL would cut the text short, so "/redfish/v1%00/x" must not
// read as "/redfish/v1". A '%' not followed by two hexadecimal digits stays.
size_t unescapeInPlace(char* text);

// "GET" and "HEAD" and "DELETE" (exactly: methods are case-sensitive).
Method methodOf(std::string_view method);
Route route(std::string_view method, std::string_view path);

// URL paths of the tree.
namespace paths {
constexpr const char* kVersions = "/redfish";
constexpr const char* kRoot = "/redfish/v1";
constexpr const char* kSystems = "/redfish/v1/Systems";
constexpr const char* kSystem = "/redfish/v1/Systems/system";
constexpr const char* kLogServices = "/redfish/v1/Systems/system/LogServices";
constexpr const char* kDumpService = "/redfish/v1/Systems/system/LogServices/Dump";
constexpr const char* kEntries = "/redfish/v1/Systems/system/LogServices/Dump/Entries";
constexpr const char* kEventService = "/redfish/v1/EventService";
constexpr const char* kEventStream = "/redfish/v1/EventService/SSE";
constexpr const char* kAttachment = "attachment";
std::string entry(uint32_t id);       // kEntries + "/0000001A"
std::string attachment(uint32_t id);  // entry(id) + "/attachment"
}  // namespace paths

}  // namespace platdump::serve
