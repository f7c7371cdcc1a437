#include "trainer/ui/keyboard_coach.h"

#include <algorithm>

#include <QKeyEvent>
#include <QSettings>

#include "trainer/ui/key_input.h"

namespace tapmora {
namespace {

const QString kYenStandInKey = QStringLiteral("keyboard/yenStandIn");
const QString kRoStandInKey = QStringLiteral("keyboard/roStandIn");

// A remembered stand-in, or the default when the setting is missing or
// names a key that is not offered.
std::uint16_t storedStandIn(const QSettings &settings, const QString &key,
                            std::uint16_t defaultCode) {
    const int code = settings.value(key, defaultCode).toInt();
    if (code == 0 || std::ranges::find(standInCandidates(), code) != standInCandidates().end())
        return static_cast<std::uint16_t>(code);
    return defaultCode;
}

}  // namespace

KeyboardCoach::KeyboardCoach(KeyReader reader)
    : reader_(reader), judgesByPosition_(reader.givesKeyPositions()) {
    const QSettings settings;
    standIns_.yen = storedStandIn(settings, kYenStandInKey, standIns_.yen);
    standIns_.ro = storedStandIn(settings, kRoStandInKey, standIns_.ro);
    if (standIns_.yen == standIns_.ro) standIns_.ro = 0;
}

DrillKey KeyboardCoach::read(const QKeyEvent &key) {
    const KeyReading reading = reader_.read(key, standIns_);
    const InputWarning before = check_.warning();
    check_.keySeen(reading.character, reading.shift, reading.capsLock, reading.stroke.has_value());
    if (check_.warning() != before) emit statusChanged();

    DrillKey typed{reading.byPosition ? reading.code : characterCode(key), reading.stroke};
    if (!typed.pressed && typed.code) typed.pressed = strokeForCode(*typed.code);
    return typed;
}

void KeyboardCoach::inputMethodSeen() {
    const InputWarning before = check_.warning();
    check_.inputMethodSeen();
    if (check_.warning() != before) emit statusChanged();
}

void KeyboardCoach::kanaShown(char16_t kana) {
    target_ = strokeForKana(kana);
    emit targetChanged();
}

void KeyboardCoach::keyMissed(KeyStroke pressed) { emit missed(pressed); }

void KeyboardCoach::setStandIn(std::uint16_t StandIns::*jisOnlyKey, std::uint16_t evdevCode) {
    std::uint16_t StandIns::*other = jisOnlyKey == &StandIns::yen ? &StandIns::ro : &StandIns::yen;
    standIns_.*jisOnlyKey = evdevCode;
    if (standIns_.*other == evdevCode) standIns_.*other = 0;
    QSettings settings;
    settings.setValue(kYenStandInKey, standIns_.yen);
    settings.setValue(kRoStandInKey, standIns_.ro);
    emit statusChanged();
}

}  // namespace tapmora
