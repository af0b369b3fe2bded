// The sockets the server listens on: a TCP address given as HOST:PORT
// ("127.0.0.1:8080", "[::1]:8080", "localhost:0" for a port the system
// picks), and a Unix socket; and whether a peer is this machine.
#pragma once

#include <sys/socket.h>

#include <optional>
#include <string>
#include <string_view>

namespace platdump::serve {

struct ListenAddress {
    std::string host;
    std::string port;
};

// None, with why set, when text is no HOST:PORT with a decimal port.
std::optional<ListenAddress> parseListenAddress(std::string_view text, std::string& why);

struct Listener {
    int fd = -1;
    std::string shown;    // "127.0.0.1:34567", "[::1]:8080", "unix:/run/platdump.sock"
    bool loopback = false;  // bound to a loopback address or a Unix socket
    bool unixSocket = false;
};

// A listening TCP socket on address (the first the host resolves to); fd
// -1 with why set on failure.
Listener listenTcp(const ListenAddress& address, std::string& why);
// A listening Unix socket at path, readable and writable by this user
// only. A socket file left by a server that is gone is replaced; one that
// answers is not.
Listener listenUnix(const std::string& path, std::string& why);

// 127.0.0.0/8, ::1 and ::ffff:127.0.0.0/104; a Unix socket's peer.
bool isLocalPeer(const sockaddr* address);

}  // namespace platdump::serve
