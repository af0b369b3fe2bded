// `platdump serve [--listen HOST:PORT] [--unix PATH] [--users FILE]
// [--tls-cert FILE --tls-key FILE]`: the repository over HTTP in the
// management world's shape (httpServer.h), until SIGTERM or SIGINT. It
// says on standard error where it listens and when it is ready. Without
// --listen and --unix it listens on 127.0.0.1:8080; an address other than
// loopback is refused unless users are configured.
#pragma once

#include <CLI/CLI.hpp>
#include <ostream>
#include <string>

namespace platdump {

struct ServeOptions {
    std::string listen;
    std::string unixPath;
    std::string usersFile;
    std::string tlsCert;
    std::string tlsKey;
    unsigned maxConnections = 64;
    unsigned idleTimeout = 60;
};

CLI::App* addServeCommand(CLI::App& app, ServeOptions& options);
int runServe(const ServeOptions& options, std::ostream& err);

}  // namespace platdump
