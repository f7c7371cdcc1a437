// Watches what the learner's keys say about the input settings and names
// the one problem worth telling: an input method, kana input, Caps Lock, or
// characters that cannot be placed on the JIS keyboard.
#pragma once

#include <optional>

namespace tapmora {

enum class InputWarning {
    None,
    InputMethod,        // composed or full-width text arrives
    KanaInput,          // keys type kana (a kana lock or a kana layout)
    CapsLock,           // letters arrive as capitals and count as wrong
    UnplacedCharacter,  // characters no JIS key makes, with no key position
};

class InputCheck {
public:
    // A key event: its first character (0 for keys without text), whether
    // Shift was held, the Caps Lock state where the platform reports it,
    // and whether the key's position is known.
    void keySeen(char16_t character, bool shift, std::optional<bool> capsLock, bool positionKnown);
    // Text from an input method, whether composing or committed.
    void inputMethodSeen();

    // The most pressing problem, or None.
    InputWarning warning() const;

private:
    bool inputMethod_ = false;
    bool kana_ = false;
    bool capsLock_ = false;
    bool unplaced_ = false;
};

}  // namespace tapmora
