// Names for key codes, for lists and exports that show which key was pressed.
#pragma once

#include <cstdint>
#include <string>

namespace tapmora {

// The character a key code stands for ("a", ";", "\\"), or a name for the
// keys without a visible character ("Enter", "Space", "Backspace", "Tab",
// "Esc"); other codes as "#" and the number.
std::u16string keyCharacter(std::int16_t keyCode);

// The kana typed on the JIS key (and Shift state) that delivers `keyCode` in
// half-width alphanumeric mode, empty for keys without one. Code 92 comes
// from two keys and gives "ー／ろ".
std::u16string kanaOfKey(std::int16_t keyCode);

}  // namespace tapmora
