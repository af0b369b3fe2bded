#include "serveCommand.h"

#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "events.h"
#include "exitCodes.h"
#include "httpServer.h"
#include "listeners.h"
#include "users.h"

namespace platdump {

namespace {

constexpr const char* kDefaultListen = "127.0.0.1:8080";
constexpr std::chrono::milliseconds kWatchInterval{250};

bool readText(const std::string& path, std::string& text, std::string& why) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    if (!(in && bytes << in.rdbuf())) {
        why = "cannot read " + path;
        return false;
    }
    text = bytes.str();
    return true;
}

int usage(std::ostream& err, const std::string& why) {
    err << "platdump serve: " << why << "\n";
    return kExitUsage;
}

}  // namespace

CLI::App* addServeCommand(CLI::App& app, ServeOptions& o) {
    CLI::App* cmd = app.add_subcommand("serve", "Serve the repository over HTTP (Redfish log service, events)");
    cmd->add_option("--listen", o.listen, std::string("TCP address HOST:PORT (default ") + kDefaultListen +
                                              " when --unix is not given; port 0: one the system picks)");
    cmd->add_option("--unix", o.unixPath, "Also (or only) serve on this Unix socket, mode 0600");
    cmd->add_option("--users", o.usersFile, "File of user:hash lines, hashes by crypt(3) (mkpasswd)");
    CLI::Option* cert = cmd->add_option("--tls-cert", o.tlsCert, "Serve TCP over TLS with this PEM certificate");
    CLI::Option* key = cmd->add_option("--tls-key", o.tlsKey, "... and this PEM private key");
    cert->needs(key);
    key->needs(cert);
    cmd->add_option("--max-connections", o.maxConnections, "Connections served at once per socket (default 64)")
        ->check(CLI::Range(1u, 1024u));
    cmd->add_option("--idle-timeout", o.idleTimeout, "Seconds a connection may stay silent (default 60)")
        ->check(CLI::Range(1u, 3600u));
    return cmd;
}

int runServe(const ServeOptions& o, std::ostream& err) {
    using namespace serve;
    // SIGTERM and SIGINT are taken by sigwait below, in this thread: every
    // thread started from here on inherits the mask, no handler runs.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);  // a client gone mid-write is an error return, not the end

    std::string why;
    Users users;
    if (!o.usersFile.empty() && !users.load(o.usersFile, why)) return usage(err, why);
    std::string cert, key;
    if (!o.tlsCert.empty() && (!readText(o.tlsCert, cert, why) || !readText(o.tlsKey, key, why)))
        return usage(err, why);

    std::vector<Listener> listeners;
    if (!o.listen.empty() || o.unixPath.empty()) {
        std::optional<ListenAddress> address = parseListenAddress(o.listen.empty() ? kDefaultListen : o.listen, why);
        if (!address) return usage(err, why);
        Listener l = listenTcp(*address, why);
        if (l.fd < 0) return usage(err, why);
        if (!l.loopback && users.empty()) {
            ::close(l.fd);
            return usage(err, "refusing to serve " + l.shown +
                                  " without --users: only loopback and the Unix socket are served without a login");
        }
        listeners.push_back(l);
    }
    if (!o.unixPath.empty()) {
        Listener l = listenUnix(o.unixPath, why);
        if (l.fd < 0) {
            for (const Listener& t : listeners) ::close(t.fd);
            return usage(err, why);
        }
        listeners.push_back(l);
    }

    EventHub events(kWatchInterval);
    events.start();
    HttpServer server(users, events, cert, key, ServerLimits{o.maxConnections, o.idleTimeout, 32u << 10});
    for (size_t i = 0; i < listeners.size(); ++i) {
        if (!server.serve(listeners[i], why)) {
            for (size_t j = i + 1; j < listeners.size(); ++j) ::close(listeners[j].fd);
            serveLog(why);
            events.stop();
            return kExitFailed;
        }
        const bool tls = !cert.empty() && !listeners[i].unixSocket;
        serveLog("listening on " +
                 (listeners[i].unixSocket ? listeners[i].shown
                                          : std::string(tls ? "https://" : "http://") + listeners[i].shown) +
                 (users.empty() ? "" : ", users from " + o.usersFile));
    }
    serveLog("ready");

    int signal = 0;
    while (sigwait(&stopSignals, &signal) != 0) {
    }
    serveLog(std::string("stopping on ") + (signal == SIGTERM ? "SIGTERM" : "SIGINT"));
    events.stop();  // ends the event streams, so their connections can close
    server.stop();
    if (!o.unixPath.empty()) ::unlink(o.unixPath.c_str());
    serveLog("stopped");
    return kExitOk;
}

}  // namespace platdump
