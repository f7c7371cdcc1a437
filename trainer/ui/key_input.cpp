#include "trainer/ui/key_input.h"

#include <QKeyEvent>

namespace tapmora {

bool isEnter(const QKeyEvent& key) {
    return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
}

std::optional<std::int16_t> characterCode(const QKeyEvent& key) {
    if (isEnter(key))
        return std::int16_t{13};
    if (key.text().isEmpty() || key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab ||
        (key.modifiers() & Qt::AltModifier))
        return std::nullopt;
    return static_cast<std::int16_t>(key.text().front().unicode());
}

}  // namespace tapmora
