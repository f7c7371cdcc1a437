#include "trainer/ui/key_input.h"

#include <QKeyEvent>

namespace tapmora {
namespace {

// Besides Enter, the keys that type a control character on the keyboards
// the courses were made for: Backspace and Ctrl chords with a character
// key. Others whose text is a control character here (Delete, Pause,
// Scroll Lock) type nothing there.
bool typesControlCharacter(const QKeyEvent &key) {
    const bool characterKey = key.key() < Qt::Key_Escape;  // special keys start there
    return key.key() == Qt::Key_Backspace ||
           ((key.modifiers() & Qt::ControlModifier) && characterKey);
}

}  // namespace

bool isEnter(const QKeyEvent &key) {
    return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
}

std::optional<std::int16_t> characterCode(const QKeyEvent &key) {
    if (isEnter(key)) return std::int16_t{13};
    if (key.text().isEmpty() || key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab ||
        (key.modifiers() & Qt::AltModifier))
        return std::nullopt;
    const char16_t unit = key.text().front().unicode();
    if ((unit < u' ' || unit == u'\x7f') && !typesControlCharacter(key)) return std::nullopt;
    // Some Japanese layouts give the yen key its own sign; the key is still
    // the one whose code is the backslash's.
    if (unit == u'\u00a5') return std::int16_t{u'\\'};
    return static_cast<std::int16_t>(unit);
}

}  // namespace tapmora
