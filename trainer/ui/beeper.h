// The drill's beeps: a short tone through the sound system, the desktop's
// bell where there is no audio device, nothing while muted. Beeps asked for
// in quick succession (two for a miss) are spaced so they sound as two.
#pragma once

#include <functional>

#include <QElapsedTimer>
#include <QObject>

class QTimer;

namespace tapmora {

// Where a beep can go. The tone is used while an audio device is there and
// the tone could be loaded; otherwise the bell rings.
struct BeepOutputs {
    std::function<bool()> toneAvailable;
    std::function<void()> playTone;
    std::function<void()> ringBell;
};

// The tone through Qt Multimedia, the bell through the platform.
BeepOutputs desktopBeepOutputs();

class Beeper final : public QObject {
    Q_OBJECT
public:
    // From the start of one beep to the start of the next: the tone (60 ms)
    // and a pause that keeps two beeps apart to the ear.
    static constexpr int kSpacingMilliseconds = 150;
    // Beeps waiting for their turn at most. Two keep a miss's pair whole;
    // beyond that fast typing merges beeps rather than letting them lag
    // ever further behind the keys.
    static constexpr int kMostWaiting = 2;

    // Muted or not as the learner left it last time.
    explicit Beeper(BeepOutputs outputs, QObject *parent = nullptr);

    void beep();

    bool isMuted() const { return muted_; }
    // Remembered for the next run; muting drops the beeps still waiting.
    void setMuted(bool muted);

private:
    void sound();

    BeepOutputs outputs_;
    bool muted_;
    int waiting_ = 0;
    QElapsedTimer sinceLastBeep_;
    QTimer *nextBeep_ = nullptr;
};

}  // namespace tapmora
