#include "trainer/ui/beeper.h"

#include <memory>

#include <QApplication>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSettings>
#include <QSoundEffect>
#include <QTimer>

#include "trainer/ui/controls.h"

namespace tapmora {
namespace {

const QString kMutedKey = QStringLiteral("sound/muted");
// Made at build time by tools/make_tone.cpp.
const QString kToneAddress = QStringLiteral("qrc:/sounds/beep.wav");

}  // namespace

BeepOutputs desktopBeepOutputs() {
    // Shared by the outputs, so they live exactly as long as the beeper
    // that holds them.
    const auto devices = std::make_shared<QMediaDevices>();
    const auto tone = std::make_shared<QSoundEffect>();
    tone->setSource(QUrl(kToneAddress));
    return {
        [devices, tone] {
            return !devices->audioOutputs().isEmpty() && tone->status() != QSoundEffect::Error;
        },
        [tone] { tone->play(); },
        [] { QApplication::beep(); },
    };
}

Beeper::Beeper(BeepOutputs outputs, QObject *parent)
    : QObject(parent),
      outputs_(std::move(outputs)),
      muted_(QSettings().value(kMutedKey, false).toBool()) {
    nextBeep_ = named(new QTimer(this), "nextBeep");
    nextBeep_->setSingleShot(true);
    // A coarse timer may fire a little early and run two beeps together.
    nextBeep_->setTimerType(Qt::PreciseTimer);
    connect(nextBeep_, &QTimer::timeout, this, &Beeper::sound);
}

void Beeper::beep() {
    if (muted_ || waiting_ == kMostWaiting) return;
    const qint64 sinceLast =
        sinceLastBeep_.isValid() ? sinceLastBeep_.elapsed() : kSpacingMilliseconds;
    if (waiting_ == 0 && sinceLast >= kSpacingMilliseconds) {
        sound();
        return;
    }
    ++waiting_;
    if (!nextBeep_->isActive())
        nextBeep_->start(static_cast<int>(kSpacingMilliseconds - sinceLast));
}

void Beeper::sound() {
    sinceLastBeep_.start();
    if (outputs_.toneAvailable())
        outputs_.playTone();
    else
        outputs_.ringBell();
    if (waiting_ > 0 && --waiting_ > 0) nextBeep_->start(kSpacingMilliseconds);
}

void Beeper::setMuted(bool muted) {
    muted_ = muted;
    waiting_ = 0;
    nextBeep_->stop();
    QSettings().setValue(kMutedKey, muted);
}

}  // namespace tapmora
