#include "trainer/tests/x_keyboard.h"

#include <cstdio>
#include <cstdlib>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

constexpr std::uint16_t kLeftShift = 42;
constexpr std::uint16_t kXkbOffset = 8;  // X keycode = evdev code + 8

}  // namespace

XKeyboard::XKeyboard() : display_(XOpenDisplay(nullptr)) {
    if (!display_) {
        std::fputs("cannot open the X display\n", stderr);
        std::abort();
    }
}

XKeyboard::~XKeyboard() { XCloseDisplay(display_); }

void XKeyboard::type(std::uint16_t evdevCode, bool shift) {
    if (shift) fake(kLeftShift, true);
    fake(evdevCode, true);
    fake(evdevCode, false);
    if (shift) fake(kLeftShift, false);
    XFlush(display_);
}

void XKeyboard::fake(std::uint16_t evdevCode, bool down) {
    XTestFakeKeyEvent(display_, evdevCode + kXkbOffset, down ? True : False, CurrentTime);
}
