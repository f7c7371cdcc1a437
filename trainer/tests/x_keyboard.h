// Presses keys through the X server's XTEST extension, as a keyboard
// would: the server delivers them to the focused window with the loaded
// layout's symbols. Kept apart from Qt code because Xlib's macros (None,
// KeyPress, Bool) clash with Qt's names.
#pragma once

#include <cstdint>

struct _XDisplay;

class XKeyboard {
public:
    XKeyboard();  // opens $DISPLAY; aborts when it cannot
    ~XKeyboard();
    XKeyboard(const XKeyboard &) = delete;
    XKeyboard &operator=(const XKeyboard &) = delete;

    // Presses and releases a key given by its evdev code, inside a press of
    // the left Shift key when `shift` is set.
    void type(std::uint16_t evdevCode, bool shift);

private:
    void fake(std::uint16_t evdevCode, bool down);

    _XDisplay *display_;
};
