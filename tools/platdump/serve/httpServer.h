// The HTTP side of `platdump serve` on libmicrohttpd: one daemon per
// listening socket, a thread per connection (a slow client holds only its
// own thread, and a body reader may wait on the library), with limits on
// connections, per-connection memory (so on headers) and idle time. Each
// request is authenticated, routed (router.h) and answered with a document
// (redfishJson.h), an attachment body read through the library in bounded
// requests, a deletion, or the event stream (events.h).
#pragma once

#include <string>
#include <vector>

#include "listeners.h"

namespace platdump::serve {

class EventHub;
class Users;

struct ServerLimits {
    unsigned maxConnections = 64;    // per listening socket
    unsigned idleSeconds = 60;       // a connection with no traffic for this long is closed
    size_t connectionMemory = 32 << 10;  // request line and headers included
};

class HttpServer {
public:
    // users: empty when none are configured; tlsCert/tlsKey: PEM text, both
    // empty for plain HTTP.
    HttpServer(const Users& users, EventHub& events, std::string tlsCert, std::string tlsKey, ServerLimits limits);
    ~HttpServer();  // stops
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Serves on l (taking its socket); false with why set.
    bool serve(const Listener& l, std::string& why);
    // Stops every daemon: open connections are closed.
    void stop();

    struct Daemon;

private:
    const Users& iv_users;
    EventHub& iv_events;
    std::string iv_tlsCert, iv_tlsKey;
    ServerLimits iv_limits;
    std::vector<Daemon*> iv_daemons;
};

// One line on standard error, "platdump serve: " first, whole even when
// several threads write.
void serveLog(const std::string& line);

}  // namespace platdump::serve
