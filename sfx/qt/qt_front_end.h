// Chooses and creates the windowed front end. Free of Qt headers, so the
// program entry can decide without touching Qt.
#pragma once

#include <memory>

#include "sfx/ui.h"

namespace sfx {

// True when windows can be shown: PELMARSELF_UI does not ask for the
// terminal, and DISPLAY or WAYLAND_DISPLAY names a display that accepts a
// connection.
bool display_available();

// Starts Qt's application object (without the installer's arguments, which
// Qt would otherwise read as its own options) and returns the Qt front end
// that owns it.
std::unique_ptr<Ui> make_qt_ui(const char *program_name);

}  // namespace sfx
