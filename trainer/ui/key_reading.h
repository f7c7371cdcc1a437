// Reads a key event as a press on the JIS keyboard: by the key's position
// where the platform reports it, so any layout types every kana on its JIS
// key, and by the key's character otherwise.
#pragma once

#include <cstdint>
#include <optional>

#include "trainer/model/jis_keyboard.h"

class QKeyEvent;

namespace tapmora {

struct KeyReading {
    // The key's position decided: `code` is what the drill receives.
    // Otherwise the key's character does.
    bool byPosition = false;
    std::optional<std::int16_t> code;
    // The JIS key pressed, when its position is known.
    std::optional<KeyStroke> stroke;
    char16_t character = 0;  // first unit of the event's text; 0 for none
    bool shift = false;
    std::optional<bool> capsLock;  // where the platform reports the lock
};

class KeyReader {
public:
    // Whether native scan codes are XKB keycodes (evdev code + 8), as on
    // X11 and Wayland; elsewhere, including the offscreen platform, keys
    // are read by their characters.
    static bool platformGivesKeyPositions();

    explicit KeyReader(bool keyPositions = platformGivesKeyPositions());

    bool givesKeyPositions() const { return keyPositions_; }
    KeyReading read(const QKeyEvent &key, const StandIns &standIns) const;

private:
    bool keyPositions_;
};

}  // namespace tapmora
