#include "sfx/qt/display.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

namespace sfx {
namespace {

// How long a display on another host may take to accept the connection.
constexpr int kRemoteConnectTimeout = 2000;  // milliseconds

std::string environment(const char *name) {
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Connects to a local socket; `abstract` names one in Linux's abstract
// namespace, where X servers listen besides /tmp/.X11-unix.
int connect_local(const std::string &path, bool abstract) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const size_t offset = abstract ? 1 : 0;
    if (path.size() + offset >= sizeof address.sun_path) return -1;
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    const socklen_t length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd == -1) return -1;
    if (connect(fd, reinterpret_cast<const sockaddr *>(&address), length) == 0) return fd;
    close(fd);
    return -1;
}

int connect_tcp(const std::string &host, int port) {
    addrinfo hints = {};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *addresses = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &addresses) != 0) return -1;
    int connected = -1;
    for (const addrinfo *a = addresses; a != nullptr && connected == -1; a = a->ai_next) {
        const int fd =
            socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd == -1) continue;
        bool answered = connect(fd, a->ai_addr, a->ai_addrlen) == 0;
        if (!answered && errno == EINPROGRESS) {
            pollfd waiting = {fd, POLLOUT, 0};
            int error = 0;
            socklen_t size = sizeof error;
            answered = poll(&waiting, 1, kRemoteConnectTimeout) == 1 &&
                       getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
        }
        if (answered) {
            connected = fd;
        } else {
            close(fd);
        }
    }
    freeaddrinfo(addresses);
    return connected;
}

// DISPLAY is [host]:number[.screen]; an empty host or "unix" means the
// local socket of that display number, any other host TCP port 6000 plus
// the number.
int connect_x11(const std::string &display) {
    const size_t colon = display.rfind(':');
    if (colon == std::string::npos) return -1;
    const std::string host = display.substr(0, colon);
    const char *digits = display.c_str() + colon + 1;
    char *end = nullptr;
    const long number = std::strtol(digits, &end, 10);
    if (end == digits || number < 0 || number > 10000) return -1;
    if (host.empty() || host == "unix") {
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
        const int fd = connect_local(path, true);
        return fd != -1 ? fd : connect_local(path, false);
    }
    if (host[0] == '/') return connect_local(host, false);
    return connect_tcp(host, 6000 + static_cast<int>(number));
}

// WAYLAND_DISPLAY is a socket name in XDG_RUNTIME_DIR, or an absolute path.
int connect_wayland(const std::string &name) {
    if (name[0] == '/') return connect_local(name, false);
    const std::string runtime = environment("XDG_RUNTIME_DIR");
    return runtime.empty() ? -1 : connect_local(runtime + "/" + name, false);
}

}  // namespace

bool terminal_requested() { return environment("PELMARSELF_UI") == "terminal"; }

DisplayProbe::DisplayProbe() {
    const std::string x11 = environment("DISPLAY");
    if (!x11.empty()) fd_ = connect_x11(x11);
    if (fd_ != -1) {
        server_ = DisplayServer::X11;
        return;
    }
    const std::string wayland = environment("WAYLAND_DISPLAY");
    if (!wayland.empty()) fd_ = connect_wayland(wayland);
    if (fd_ != -1) server_ = DisplayServer::Wayland;
}

DisplayProbe::~DisplayProbe() {
    if (fd_ != -1) close(fd_);
}

}  // namespace sfx
