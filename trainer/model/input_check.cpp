#include "trainer/model/input_check.h"

#include "trainer/model/jis_keyboard.h"

namespace tapmora {
namespace {

// Without a reported lock state, a letter's case against Shift tells it.
std::optional<bool> capsLockFromLetter(char16_t c, bool shift) {
    if (c >= u'a' && c <= u'z') return shift;
    if (c >= u'A' && c <= u'Z') return !shift;
    return std::nullopt;
}

}  // namespace

void InputCheck::keySeen(char16_t character, bool shift, std::optional<bool> capsLock,
                         bool positionKnown) {
    if (!capsLock) capsLock = capsLockFromLetter(character, shift);
    if (capsLock) capsLock_ = *capsLock;
    if (character == 0) return;  // Shift, arrows and the like say nothing about the mode
    const CharacterKind kind = classifyCharacter(character);
    inputMethod_ = kind == CharacterKind::FullWidth;
    kana_ = kind == CharacterKind::Kana;
    // Another layout's characters do no harm while keys are placed by
    // position.
    unplaced_ = kind == CharacterKind::Other && !positionKnown;
}

void InputCheck::inputMethodSeen() { inputMethod_ = true; }

InputWarning InputCheck::warning() const {
    if (inputMethod_) return InputWarning::InputMethod;
    if (kana_) return InputWarning::KanaInput;
    if (capsLock_) return InputWarning::CapsLock;
    if (unplaced_) return InputWarning::UnplacedCharacter;
    return InputWarning::None;
}

}  // namespace tapmora
