// Whether a display server answers, found without Qt. Qt ends the process
// when it cannot connect to the display it is given, so an address left
// over from an earlier session (a stale DISPLAY after a remote shell, for
// instance) must lead to the terminal front end instead.
#pragma once

namespace sfx {

// True when PELMARSELF_UI asks for the terminal front end.
bool terminal_requested();

enum class DisplayServer { None, X11, Wayland };

// A connection to the display server that DISPLAY (or else WAYLAND_DISPLAY)
// names, held open while it lives. Keep it until Qt has connected: an X
// server whose last client leaves resets itself and refuses connections
// for a moment, which a probe closed at once would cause on a server
// without other clients.
class DisplayProbe {
public:
    DisplayProbe();
    ~DisplayProbe();
    DisplayProbe(const DisplayProbe &) = delete;
    DisplayProbe &operator=(const DisplayProbe &) = delete;

    DisplayServer server() const { return server_; }

private:
    int fd_ = -1;
    DisplayServer server_ = DisplayServer::None;
};

}  // namespace sfx
