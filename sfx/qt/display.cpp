// Whether a display server answers. Qt ends the process when it cannot
// connect to the display it is given, so an address left over from an
// earlier session (a stale DISPLAY after logging out of a remote shell, for
// instance) must lead to the terminal front end instead. Only the socket is
// probed; no Qt code runs here.
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "sfx/qt/qt_front_end.h"

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
bool local_socket_answers(const std::string &path, bool abstract) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const size_t offset = abstract ? 1 : 0;
    if (path.size() + offset >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd == -1) return false;
    const bool connected = connect(fd, reinterpret_cast<const sockaddr *>(&address), length) == 0;
    close(fd);
    return connected;
}

bool tcp_port_answers(const std::string &host, int port) {
    addrinfo hints = {};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *addresses = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &addresses) != 0) return false;
    bool connected = false;
    for (const addrinfo *a = addresses; a != nullptr && !connected; a = a->ai_next) {
        const int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd == -1) continue;
        if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
            connected = true;
        } else if (errno == EINPROGRESS) {
            pollfd waiting = {fd, POLLOUT, 0};
            int error = 0;
            socklen_t size = sizeof error;
            connected = poll(&waiting, 1, kRemoteConnectTimeout) == 1 &&
                        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
        }
        close(fd);
    }
    freeaddrinfo(addresses);
    return connected;
}

// DISPLAY is [host]:number[.screen]; an empty host or "unix" means the
// local socket of that display number, any other host TCP port 6000 plus
// the number.
bool x11_display_answers(const std::string &display) {
    const size_t colon = display.rfind(':');
    if (colon == std::string::npos) return false;
    const std::string host = display.substr(0, colon);
    const char *digits = display.c_str() + colon + 1;
    char *end = nullptr;
    const long number = std::strtol(digits, &end, 10);
    if (end == digits || number < 0 || number > 10000) return false;
    if (host.empty() || host == "unix") {
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
        return local_socket_answers(path, true) || local_socket_answers(path, false);
    }
    if (host[0] == '/') return local_socket_answers(host, false);
    return tcp_port_answers(host, 6000 + static_cast<int>(number));
}

// WAYLAND_DISPLAY is a socket name in XDG_RUNTIME_DIR, or an absolute path.
bool wayland_display_answers(const std::string &name) {
    if (name[0] == '/') return local_socket_answers(name, false);
    const std::string runtime = environment("XDG_RUNTIME_DIR");
    return !runtime.empty() && local_socket_answers(runtime + "/" + name, false);
}

}  // namespace

bool display_available() {
    if (environment("PELMARSELF_UI") == "terminal") return false;
    const std::string x11 = environment("DISPLAY");
    const std::string wayland = environment("WAYLAND_DISPLAY");
    return (!x11.empty() && x11_display_answers(x11)) ||
           (!wayland.empty() && wayland_display_answers(wayland));
}

}  // namespace sfx
