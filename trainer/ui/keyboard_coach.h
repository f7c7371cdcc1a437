// What the keyboard window shows, kept while the window is closed: the key
// for the kana on display, the last miss, the stand-ins for the JIS-only
// keys (remembered in the settings) and what the keys say about the
// learner's input settings. The main window feeds it; the keyboard window
// follows its signals.
#pragma once

#include <optional>

#include <QObject>

#include "trainer/model/input_check.h"
#include "trainer/model/jis_keyboard.h"
#include "trainer/ui/key_reading.h"

class QKeyEvent;

namespace tapmora {

// A key typed in a drill: the code the drill step receives, none for keys
// that are no drill keys, and the JIS key pressed, where it is known.
struct DrillKey {
    std::optional<std::int16_t> code;
    std::optional<KeyStroke> pressed;
};

class KeyboardCoach final : public QObject {
    Q_OBJECT
public:
    explicit KeyboardCoach(KeyReader reader = KeyReader());

    // Reads a key typed in a drill, by its position on the JIS keyboard
    // where the platform reports it and by its character otherwise, and
    // checks the input settings with it.
    DrillKey read(const QKeyEvent &key);
    void inputMethodSeen();

    // The drill showed `kana` (0: nothing on display).
    void kanaShown(char16_t kana);
    // The drill judged a key wrong; `pressed` is the key typed.
    void keyMissed(KeyStroke pressed);

    std::optional<KeyStroke> target() const { return target_; }
    InputWarning warning() const { return check_.warning(); }
    bool judgesByPosition() const { return judgesByPosition_; }

    const StandIns &standIns() const { return standIns_; }
    // Chooses the key that stands in for one JIS-only key (&StandIns::yen
    // or &StandIns::ro), taking it away from the other.
    void setStandIn(std::uint16_t StandIns::*jisOnlyKey, std::uint16_t evdevCode);

signals:
    void targetChanged();
    void missed(tapmora::KeyStroke pressed);
    void statusChanged();  // the warning or the stand-ins changed

private:
    KeyReader reader_;
    bool judgesByPosition_;
    StandIns standIns_;
    InputCheck check_;
    std::optional<KeyStroke> target_;
};

}  // namespace tapmora
