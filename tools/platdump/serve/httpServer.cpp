#include "httpServer.h"

#include <microhttpd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>
#include <set>

#include "bodies.h"
#include "byteRange.h"
#include "dumpId.h"
#include "entryId.h"
#include "errlogJson.h"
#include "events.h"
#include "offloadCommand.h"
#include "platform/errlEntry.h"
#include "redfishJson.h"
#include "repository.h"
#include "router.h"
#include "users.h"

namespace platdump::serve {

void serveLog(const std::string& line) {
    static std::mutex lock;
    std::lock_guard<std::mutex> held(lock);
    std::cerr << "platdump serve: " << line << std::endl;
}

struct HttpServer::Daemon {
    Listener listener;
    const Users* users = nullptr;
    EventHub* events = nullptr;
    unsigned keepAliveSeconds = 15;
    MHD_Daemon* mhd = nullptr;
    // The sockets of the open connections, so that stopping can cut their
    // transfers off rather than wait for slow clients to finish them.
    std::mutex lock;
    std::set<int> open;
};

namespace {

constexpr const char* kRealm = "platdump";
constexpr unsigned kOk = 200, kNoContent = 204, kPartial = 206, kBadRequest = 400, kUnauthorized = 401,
                   kForbidden = 403, kNotFound = 404, kMethodNotAllowed = 405, kConflict = 409, kPayloadTooLarge = 413,
                   kRangeNotSatisfiable = 416, kInternalError = 500;

struct Header {
    const char* name;
    std::string value;
};

// A response's common headers, then the extra ones.
MHD_Result send(MHD_Connection* c, unsigned status, MHD_Response* response, const std::vector<Header>& extra = {}) {
    if (!response) return MHD_NO;
    MHD_add_response_header(response, "OData-Version", "4.0");
    MHD_add_response_header(response, "Cache-Control", "no-store");
    for (const Header& h : extra) MHD_add_response_header(response, h.name, h.value.c_str());
    MHD_Result result = MHD_queue_response(c, status, response);
    MHD_destroy_response(response);
    return result;
}

MHD_Response* jsonBody(const Json& document) {
    const std::string text = document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
    MHD_Response* r = MHD_create_response_from_buffer(text.size(), const_cast<char*>(text.data()), MHD_RESPMEM_MUST_COPY);
    if (r) MHD_add_response_header(r, "Content-Type", "application/json; charset=utf-8");
    return r;
}

MHD_Result sendJson(MHD_Connection* c, unsigned status, const Json& document, const std::vector<Header>& extra = {}) {
    return send(c, status, jsonBody(document), extra);
}

MHD_Result sendError(MHD_Connection* c, unsigned status, const std::string& key, const std::string& message,
                     const Json& logs = nullptr, const std::vector<Header>& extra = {}) {
    return sendJson(c, status, errorJson(key, message, logs), extra);
}

std::optional<std::string_view> header(MHD_Connection* c, const char* name) {
    const char* v = MHD_lookup_connection_value(c, MHD_HEADER_KIND, name);
    if (!v) return std::nullopt;
    return std::string_view(v);
}

std::string hex16(uint64_t v) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
    return text;
}

// A download's file name: the dump's offload name, in characters every
// client takes as they are.
std::string fileName(const EntryFacts& f) {
    std::string name;
    for (char ch : f.dumpFileName)
        if (std::isalnum(static_cast<unsigned char>(ch)) || ch == '.' || ch == '-' || ch == '_') name += ch;
    return name.empty() ? entryIdText(f.id) + ".dump" : name;
}

struct Request {
    MHD_Connection* c;
    const HttpServer::Daemon& daemon;
    Method method;
    bool local;          // loopback or the Unix socket
    bool authenticated;  // a configured user's credentials came with it
};

MHD_Result answerLookupFailure(const Request& r, const repository::Lookup& l, uint32_t id) {
    if (l.outcome == repository::Lookup::Missing)
        return sendError(r.c, kNotFound, "ResourceNotFound", "no dump " + idText(id) + " in the repository");
    return sendError(r.c, kInternalError, "InternalError", l.why,
                     l.errorLog.is_null() ? Json(nullptr) : Json::array({l.errorLog}));
}

// What a failure of the library to read a stream's size means to a client.
MHD_Result answerExtractFailure(const Request& r, ErrlEntry* e) {
    const std::string why = failureText(*e, 0);
    Json logs = Json::array({decodeEntry(*e)});
    const ExtractOutcome outcome = extractOutcome(*e);
    delete e;
    switch (outcome) {
        case ExtractOutcome::NoSummary:
        case ExtractOutcome::Deleted: return sendError(r.c, kNotFound, "ResourceNotFound", why, logs);
        case ExtractOutcome::NotComplete:
        case ExtractOutcome::MainStoreUnreachable: return sendError(r.c, kConflict, "ResourceInUse", why, logs);
        default: return sendError(r.c, kInternalError, "InternalError", why, logs);
    }
}

// "mainstore" query parameter: absent, true/1 or false/0.
std::optional<bool> mainStoreAsked(MHD_Connection* c, bool& valid) {
    valid = true;
    const char* v = MHD_lookup_connection_value(c, MHD_GET_ARGUMENT_KIND, "mainstore");
    if (!v) return false;
    const std::string text = v;
    if (text == "true" || text == "1") return true;
    if (text == "false" || text == "0") return false;
    valid = false;
    return std::nullopt;
}

MHD_Result answerAttachment(const Request& r, uint32_t id, const Users& users) {
    bool valid = true;
    std::optional<bool> mainStore = mainStoreAsked(r.c, valid);
    if (!valid)
        return sendError(r.c, kBadRequest, "QueryParameterValueFormatError",
                         "the query parameter mainstore is true, 1, false or 0");
    // Reading main store can request a checkstop IPL of the managed server:
    // only a logged-in user may ask for it over TCP, loopback included; the
    // Unix socket's file mode decides who reaches it at all.
    if (*mainStore && !r.daemon.listener.unixSocket && !r.authenticated) {
        if (users.empty())
            return sendError(r.c, kForbidden, "InsufficientPrivilege",
                             "main store is served over TCP only to a user of --users (or over the Unix socket)");
        MHD_Response* body = jsonBody(errorJson("InsufficientPrivilege", "main store needs a login"));
        if (!body) return MHD_NO;
        MHD_Result result = MHD_queue_basic_auth_fail_response(r.c, kRealm, body);
        MHD_destroy_response(body);
        return result;
    }
    repository::Lookup l = repository::entry(id);
    if (l.outcome != repository::Lookup::Found) return answerLookupFailure(r, l, id);
    const EntryFacts& f = l.facts;
    if (!f.complete)
        return sendError(r.c, kConflict, "ResourceInUse",
                         "dump " + idText(id) + " is not complete (" + std::to_string(f.progress) +
                             "% collected): its attachment is served once it is");
    uint64_t size = 0;
    if (ErrlEntry* e = repository::streamSize(id, *mainStore, *mainStore ? f.mainStoreStreamSize : f.streamSize, size))
        return answerExtractFailure(r, e);

    const std::string etag = "\"" + entryIdText(id) + "-" + hex16(f.summaryDigest) + (*mainStore ? "-m" : "") + "\"";
    const RangeDecision d = decideRange(header(r.c, MHD_HTTP_HEADER_RANGE), header(r.c, MHD_HTTP_HEADER_IF_RANGE), etag, size);
    std::vector<Header> headers{{"Accept-Ranges", "bytes"},
                                {"ETag", etag},
                                {"Content-Disposition", "attachment; filename=\"" + fileName(f) + "\""}};
    if (d.kind == RangeDecision::Unsatisfiable) {
        headers.push_back({"Content-Range", "bytes */" + std::to_string(size)});
        return sendError(r.c, kRangeNotSatisfiable, "PropertyValueOutOfRange",
                         std::string(d.why) + " (the attachment is " + std::to_string(size) + " bytes)", nullptr,
                         headers);
    }
    AttachmentPiece piece{id, f.kind, *mainStore, d.first, d.length, f.summaryDigest};
    MHD_Response* body = attachmentResponse(piece);
    if (!body) return MHD_NO;
    MHD_add_response_header(body, "Content-Type", "application/octet-stream");
    if (d.kind == RangeDecision::Partial) {
        headers.push_back({"Content-Range", "bytes " + std::to_string(d.first) + "-" +
                                                std::to_string(d.first + d.length - 1) + "/" + std::to_string(size)});
        return send(r.c, kPartial, body, headers);
    }
    return send(r.c, kOk, body, headers);
}

MHD_Result answerEntry(const Request& r, uint32_t id) {
    if (r.method == Method::Delete) {
        repository::Deletion d = repository::remove(id);
        if (d.outcome == repository::Deletion::Deleted) {
            serveLog("deleted dump " + idText(id));
            return send(r.c, kNoContent, MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT));
        }
        if (d.outcome == repository::Deletion::Missing)
            return sendError(r.c, kNotFound, "ResourceNotFound", "no dump " + idText(id) + " in the repository");
        return sendError(r.c, kInternalError, "InternalError", d.why, d.errorLogs);
    }
    repository::Lookup l = repository::entry(id);
    if (l.outcome != repository::Lookup::Found) return answerLookupFailure(r, l, id);
    return sendJson(r.c, kOk, entryJson(l.facts));
}

// A client's text for the log: printable ASCII only, at most 64 characters,
// so that no client writes lines of its own into it.
std::string printable(const char* text) {
    std::string out;
    for (const char* p = text; *p && out.size() < 64; ++p) out += (*p >= 0x20 && *p < 0x7F) ? *p : '?';
    return out;
}

MHD_Result answer(const HttpServer::Daemon& daemon, MHD_Connection* c, std::string_view url, std::string_view method) {
    const Users& users = *daemon.users;
    const MHD_ConnectionInfo* peer = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    Request r{c, daemon, methodOf(method), daemon.listener.unixSocket || (peer && isLocalPeer(peer->client_addr)), false};

    // Credentials sent are checked wherever a user file is configured;
    // without them only this machine's clients are served.
    char* password = nullptr;
    char* user = MHD_basic_auth_get_username_password(c, &password);
    bool refused = false;
    if (user) {
        r.authenticated = users.check(user, password ? password : "");
        refused = !r.authenticated && !(r.local && users.empty());
        if (refused) serveLog("user " + printable(user) + " refused");
    } else {
        refused = !r.local;
    }
    if (user) MHD_free(user);
    if (password) MHD_free(password);
    if (refused) {
        MHD_Response* body = jsonBody(errorJson("NoValidSession", "a login (HTTP Basic) of a configured user is needed"));
        if (!body) return MHD_NO;
        MHD_Result result = MHD_queue_basic_auth_fail_response(c, kRealm, body);
        MHD_destroy_response(body);
        return result;
    }

    const Route route = serve::route(method, url);
    switch (route.outcome) {
        case Route::NotFound:
            return sendError(c, kNotFound, "ResourceNotFound", "no resource at " + std::string(url.substr(0, 256)));
        case Route::BadId:
            return sendError(c, kBadRequest, "ResourceNotFound",
                             "\"" + route.badSegment + "\" is no dump id: up to 8 hexadecimal digits");
        case Route::MethodNotAllowed:
            return sendError(c, kMethodNotAllowed, "OperationNotAllowed",
                             "method " + std::string(method.substr(0, 32)) + " is not allowed here; allowed: " + route.allow,
                             nullptr, {{"Allow", route.allow}});
        case Route::Found: break;
    }
    switch (route.resource) {
        case Resource::Versions: return sendJson(c, kOk, versionsJson());
        case Resource::ServiceRoot: return sendJson(c, kOk, serviceRootJson());
        case Resource::Systems: return sendJson(c, kOk, systemsJson());
        case Resource::System: return sendJson(c, kOk, systemJson());
        case Resource::LogServices: return sendJson(c, kOk, logServicesJson());
        case Resource::DumpService: return sendJson(c, kOk, dumpServiceJson(repository::now()));
        case Resource::EventService: return sendJson(c, kOk, eventServiceJson(daemon.keepAliveSeconds));
        case Resource::Entries: {
            std::vector<EntryFacts> entries;
            repository::Lookup failure;
            if (!repository::entries(entries, failure))
                return sendError(c, kInternalError, "InternalError", failure.why,
                                 failure.errorLog.is_null() ? Json(nullptr) : Json::array({failure.errorLog}));
            return sendJson(c, kOk, entriesJson(entries));
        }
        case Resource::Entry: return answerEntry(r, route.id);
        case Resource::Attachment: return answerAttachment(r, route.id, users);
        case Resource::EventStream: {
            MHD_Response* body = eventStreamResponse(daemon.events->subscribe(), daemon.keepAliveSeconds);
            if (!body) return MHD_NO;
            MHD_add_response_header(body, "Content-Type", "text/event-stream");
            return send(c, kOk, body);
        }
    }
    return sendError(c, kNotFound, "ResourceNotFound", "no resource here");
}

// A request's state between the handler's calls: the body bytes thrown
// away so far. No resource takes a body.
struct RequestState {
    size_t discarded = 0;
};
constexpr size_t kBodyLimit = 64 << 10;

// A request is answered once its headers and body are in (so the
// connection can be kept alive), except one whose method no resource takes,
// or that announces a body beyond kBodyLimit, which is refused at once (the
// connection is then closed, its body unread). A chunked body that runs past
// kBodyLimit closes the connection without an answer: no response can be
// queued while a body is still arriving.
MHD_Result onRequest(void* cls, MHD_Connection* c, const char* url, const char* method, const char*, const char*,
                     size_t* uploadSize, void** context) {
    const auto& daemon = *static_cast<const HttpServer::Daemon*>(cls);
    auto* state = static_cast<RequestState*>(*context);
    if (!state) {
        *context = state = new RequestState;
        const char* length = MHD_lookup_connection_value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
        if (length && std::strtoull(length, nullptr, 10) > kBodyLimit)
            return sendError(c, kPayloadTooLarge, "GeneralError", "no resource here takes a request body");
        if (methodOf(method ? method : "") != Method::Other) return MHD_YES;
    } else if (*uploadSize != 0) {
        state->discarded += *uploadSize;
        *uploadSize = 0;
        return state->discarded <= kBodyLimit ? MHD_YES : MHD_NO;
    }
    return answer(daemon, c, url ? url : "", method ? method : "");
}

void onCompleted(void*, MHD_Connection*, void** context, MHD_RequestTerminationCode) {
    delete static_cast<RequestState*>(*context);
    *context = nullptr;
}

size_t onUnescape(void*, MHD_Connection*, char* text) { return unescapeInPlace(text); }

// A connection opened or closed: the socket is known until libmicrohttpd
// closes it, which it does only after this call for its end.
void onConnection(void* cls, MHD_Connection* c, void**, MHD_ConnectionNotificationCode code) {
    auto& daemon = *static_cast<HttpServer::Daemon*>(cls);
    const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (!info) return;
    std::lock_guard<std::mutex> held(daemon.lock);
    if (code == MHD_CONNECTION_NOTIFY_STARTED)
        daemon.open.insert(info->connect_fd);
    else
        daemon.open.erase(info->connect_fd);
}

void onLibraryMessage(void*, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    serveLog("libmicrohttpd: " + line);
}

}  // namespace

HttpServer::HttpServer(const Users& users, EventHub& events, std::string tlsCert, std::string tlsKey,
                       ServerLimits limits)
    : iv_users(users), iv_events(events), iv_tlsCert(std::move(tlsCert)), iv_tlsKey(std::move(tlsKey)),
      iv_limits(limits) {}

HttpServer::~HttpServer() { stop(); }

bool HttpServer::serve(const Listener& l, std::string& why) {
    auto d = std::make_unique<Daemon>();
    d->listener = l;
    d->users = &iv_users;
    d->events = &iv_events;
    d->keepAliveSeconds = std::max(1u, std::min(15u, iv_limits.idleSeconds / 2));
    const bool tls = !iv_tlsCert.empty() && !l.unixSocket;  // a Unix socket is served in the clear
    if (tls && MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
        ::close(l.fd);
        why = "this libmicrohttpd has no TLS";
        return false;
    }
    std::vector<MHD_OptionItem> options{
        {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&onLibraryMessage), nullptr},
        {MHD_OPTION_LISTEN_SOCKET, l.fd, nullptr},
        {MHD_OPTION_CONNECTION_LIMIT, static_cast<intptr_t>(iv_limits.maxConnections), nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, static_cast<intptr_t>(iv_limits.idleSeconds), nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(iv_limits.connectionMemory), nullptr},
        {MHD_OPTION_UNESCAPE_CALLBACK, reinterpret_cast<intptr_t>(&onUnescape), nullptr},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&onCompleted), nullptr},
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&onConnection), d.get()},
    };
    // One address may hold half the connections, so one client cannot take them all.
    if (!l.unixSocket)
        options.push_back({MHD_OPTION_PER_IP_CONNECTION_LIMIT,
                           static_cast<intptr_t>(std::max(1u, iv_limits.maxConnections / 2)), nullptr});
    if (tls) {
        options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(iv_tlsCert.c_str())});
        options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(iv_tlsKey.c_str())});
    }
    options.push_back({MHD_OPTION_END, 0, nullptr});
    const unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL |
                           MHD_USE_ITC | MHD_USE_ERROR_LOG | (tls ? MHD_USE_TLS : 0);
    d->mhd = MHD_start_daemon(flags, 0, nullptr, nullptr, &onRequest, d.get(), MHD_OPTION_ARRAY, options.data(),
                              MHD_OPTION_END);
    if (!d->mhd) {
        ::close(l.fd);
        why = "libmicrohttpd cannot serve on " + l.shown + (tls ? " (are the certificate and key PEM files of one pair?)" : "");
        return false;
    }
    iv_daemons.push_back(d.release());
    return true;
}

void HttpServer::stop() {
    for (Daemon* d : iv_daemons) {
        const MHD_socket listening = MHD_quiesce_daemon(d->mhd);  // no new connection from here on
        {
            std::lock_guard<std::mutex> held(d->lock);
            for (int fd : d->open) ::shutdown(fd, SHUT_RDWR);  // transfers under way are cut off
        }
        MHD_stop_daemon(d->mhd);
        if (listening != MHD_INVALID_SOCKET) ::close(listening);
        delete d;
    }
    iv_daemons.clear();
}

}  // namespace platdump::serve
