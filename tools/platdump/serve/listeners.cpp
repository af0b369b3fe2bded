#include "listeners.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platdump::serve {

namespace {

constexpr int kBacklog = 64;

std::string errnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

std::string shownAddress(const sockaddr* a) {
    char host[INET6_ADDRSTRLEN] = "?";
    unsigned port = 0;
    if (a->sa_family == AF_INET) {
        auto in = reinterpret_cast<const sockaddr_in*>(a);
        ::inet_ntop(AF_INET, &in->sin_addr, host, sizeof host);
        port = ntohs(in->sin_port);
        return std::string(host) + ":" + std::to_string(port);
    }
    auto in6 = reinterpret_cast<const sockaddr_in6*>(a);
    ::inet_ntop(AF_INET6, &in6->sin6_addr, host, sizeof host);
    port = ntohs(in6->sin6_port);
    return "[" + std::string(host) + "]:" + std::to_string(port);
}

}  // namespace

std::optional<ListenAddress> parseListenAddress(std::string_view text, std::string& why) {
    const size_t colon = text.rfind(':');
    ListenAddress a;
    if (colon == std::string_view::npos || colon == 0) {
        why = "--listen takes HOST:PORT, not \"" + std::string(text) + "\"";
        return std::nullopt;
    }
    std::string_view host = text.substr(0, colon), port = text.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    const bool digits = !port.empty() && port.size() <= 5 && port.find_first_not_of("0123456789") == std::string_view::npos;
    if (host.empty() || !digits || std::stoul(std::string(port)) > 65535) {
        why = "--listen takes HOST:PORT with a port of 0 to 65535, not \"" + std::string(text) + "\"";
        return std::nullopt;
    }
    a.host = std::string(host);
    a.port = std::string(port);
    return a;
}

bool isLocalPeer(const sockaddr* a) {
    if (!a) return false;
    if (a->sa_family == AF_UNIX) return true;
    if (a->sa_family == AF_INET)
        return (ntohl(reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr) >> 24) == 127;
    if (a->sa_family == AF_INET6) {
        const in6_addr& v6 = reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr;
        if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
        return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
    }
    return false;
}

Listener listenTcp(const ListenAddress& address, std::string& why) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (int rc = ::getaddrinfo(address.host.c_str(), address.port.c_str(), &hints, &found); rc != 0 || !found) {
        why = "cannot resolve " + address.host + ": " + ::gai_strerror(rc);
        return Listener{};
    }
    Listener l;
    l.fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    const int on = 1;
    if (l.fd < 0 || ::setsockopt(l.fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(l.fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(l.fd, kBacklog) != 0) {
        why = errnoText("cannot listen on " + address.host + ":" + address.port);
        if (l.fd >= 0) ::close(l.fd);
        ::freeaddrinfo(found);
        return Listener{};
    }
    ::freeaddrinfo(found);
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(l.fd, reinterpret_cast<sockaddr*>(&bound), &length);
    l.shown = shownAddress(reinterpret_cast<sockaddr*>(&bound));
    l.loopback = isLocalPeer(reinterpret_cast<sockaddr*>(&bound));
    return l;
}

Listener listenUnix(const std::string& path, std::string& why) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof a.sun_path) {
        why = "a Unix socket path is 1 to " + std::to_string(sizeof a.sun_path - 1) + " bytes";
        return Listener{};
    }
    std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
    struct stat st{};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            why = path + " exists and is no socket";
            return Listener{};
        }
        int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool answered = probe >= 0 && ::connect(probe, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        if (probe >= 0) ::close(probe);
        if (answered) {
            why = "a server already answers on " + path;
            return Listener{};
        }
        ::unlink(path.c_str());
    }
    Listener l;
    l.fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const mode_t mask = ::umask(0177);  // the socket file is made 0600
    const bool bound = l.fd >= 0 && ::bind(l.fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::umask(mask);
    if (!bound || ::listen(l.fd, kBacklog) != 0) {
        why = errnoText("cannot listen on " + path);
        if (l.fd >= 0) ::close(l.fd);
        return Listener{};
    }
    l.shown = "unix:" + path;
    l.loopback = true;
    l.unixSocket = true;
    return l;
}

}  // namespace platdump::serve
