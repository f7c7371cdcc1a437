// How the drill reads key presses: which events are typed characters and
// the code each delivers.
#pragma once

#include <cstdint>
#include <optional>

class QKeyEvent;

namespace tapmora {

bool isEnter(const QKeyEvent &key);

// The code a typed character key delivers to the drill: the first UTF-16
// unit of its text, 13 for Enter. Keys without text, Tab, Alt chords (menu
// and button accelerators) and keys whose control character no course
// keyboard types are not typed characters.
std::optional<std::int16_t> characterCode(const QKeyEvent &key);

}  // namespace tapmora
