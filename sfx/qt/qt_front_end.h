// Creates the windowed front end. Free of Qt headers, so the program entry
// can decide without touching Qt.
#pragma once

#include <memory>

#include "sfx/ui.h"

namespace sfx {

// The Qt front end, or nothing when PELMARSELF_UI asks for the terminal or
// neither DISPLAY nor WAYLAND_DISPLAY names a display that accepts a
// connection; Qt is not started then. The front end owns Qt's application
// object, which is given only the program name: the installer's own
// arguments would otherwise be read as Qt options.
std::unique_ptr<Ui> make_qt_ui(const char *program_name);

}  // namespace sfx
