#include "trainer/ui/key_reading.h"

#include <QGuiApplication>
#include <QKeyEvent>

namespace tapmora {
namespace {

// The Lock bit of an X11 or XKB modifier state.
constexpr quint32 kXkbLockMask = 0x2;

}  // namespace

bool KeyReader::platformGivesKeyPositions() {
    const QString platform = QGuiApplication::platformName();
    return platform == u"xcb" || platform.startsWith(u"wayland");
}

KeyReader::KeyReader(bool keyPositions) : keyPositions_(keyPositions) {}

KeyReading KeyReader::read(const QKeyEvent &key, const StandIns &standIns) const {
    KeyReading reading;
    reading.character = key.text().isEmpty() ? char16_t{0} : key.text().front().unicode();
    reading.shift = key.modifiers() & Qt::ShiftModifier;
    if (!keyPositions_ || key.nativeScanCode() <= evdev::kXkbOffset) return reading;
    reading.capsLock = (key.nativeModifiers() & kXkbLockMask) != 0;

    const auto evdevCode = static_cast<std::uint16_t>(key.nativeScanCode() - evdev::kXkbOffset);
    const JisKey *jis = pressedJisKey(evdevCode, standIns);
    if (!jis) return reading;  // the keypad and other keys off the JIS main block
    reading.stroke = KeyStroke{jis, reading.shift};
    const bool standIn = jis->evdevCode != evdevCode;
    // Control and Alt chords keep their characters (control codes, menu
    // accelerators); a stand-in may itself be a Ctrl key, so it is exempt.
    if (!standIn && (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return reading;
    reading.byPosition = true;
    reading.code = deliveredCode(*jis, reading.shift, *reading.capsLock);
    return reading;
}

}  // namespace tapmora
