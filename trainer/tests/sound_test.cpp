// The beeps without a sound card: which output a beep goes to, muting and
// its menu item, the spacing that keeps a miss's two beeps apart, and the
// tone the build makes.
#include <memory>

#include <QAction>
#include <QApplication>
#include <QAudioDevice>
#include <QElapsedTimer>
#include <QFile>
#include <QMediaDevices>
#include <QRadioButton>
#include <QTest>
#include <QtEndian>

#include "trainer/tests/find_control.h"
#include "trainer/tests/quiet_services.h"
#include "trainer/tests/scratch_settings.h"
#include "trainer/tests/scripted_random.h"
#include "trainer/ui/beeper.h"
#include "trainer/ui/form1.h"
#include "trainer/ui/trainer_app.h"

using namespace tapmora;

namespace {

// Outputs that note when each sound was made, in milliseconds since the
// test's clock started.
struct FakeOutputs {
    bool toneAvailable = true;
    QElapsedTimer clock;
    QList<qint64> tones;
    QList<qint64> bells;

    FakeOutputs() { clock.start(); }
    BeepOutputs outputs() {
        return {[this] { return toneAvailable; }, [this] { tones << clock.elapsed(); },
                [this] { bells << clock.elapsed(); }};
    }
};

// Lets every waiting beep sound.
void waitForWaitingBeeps() {
    QTest::qWait(Beeper::kMostWaiting * Beeper::kSpacingMilliseconds + 100);
}

// The samples of a 16-bit mono PCM WAV file; empty when it is not one.
QList<qint16> pcmSamples(const QByteArray &wav, int *sampleRate) {
    auto u16 = [&](int at) { return qFromLittleEndian<quint16>(wav.constData() + at); };
    auto u32 = [&](int at) { return qFromLittleEndian<quint32>(wav.constData() + at); };
    if (wav.size() < 44 || !wav.startsWith("RIFF") || wav.mid(8, 8) != "WAVEfmt " || u16(20) != 1 ||
        u16(22) != 1 || u16(34) != 16 || wav.mid(36, 4) != "data" ||
        u32(40) != static_cast<quint32>(wav.size() - 44))
        return {};
    *sampleRate = static_cast<int>(u32(24));
    QList<qint16> samples;
    for (int at = 44; at + 1 < wav.size(); at += 2) samples << static_cast<qint16>(u16(at));
    return samples;
}

}  // namespace

class SoundTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { Beeper(FakeOutputs().outputs()).setMuted(false); }

    void beepsPlayTheToneOrRingTheBellWithoutADevice() {
        FakeOutputs sound;
        Beeper beeper(sound.outputs());
        beeper.beep();
        QCOMPARE(sound.tones.size(), 1);
        QVERIFY(sound.bells.isEmpty());

        sound.toneAvailable = false;  // the device went away
        QTest::qWait(Beeper::kSpacingMilliseconds);
        beeper.beep();
        QCOMPARE(sound.tones.size(), 1);
        QCOMPARE(sound.bells.size(), 1);
    }

    // The desktop's own outputs: only checkable where there is no sound
    // card, as on a build server.
    void desktopOutputsChooseTheBellWithoutAnAudioDevice() {
        if (!QMediaDevices::audioOutputs().isEmpty()) QSKIP("this machine has an audio device");
        QVERIFY(!desktopBeepOutputs().toneAvailable());
    }

    void aMissesTwoBeepsSoundAsTwo() {
        FakeOutputs sound;
        Beeper beeper(sound.outputs());
        beeper.beep();
        beeper.beep();
        QCOMPARE(sound.tones.size(), 1);  // the second waits for its turn
        waitForWaitingBeeps();
        QCOMPARE(sound.tones.size(), 2);
        QVERIFY2(sound.tones[1] - sound.tones[0] >= Beeper::kSpacingMilliseconds,
                 qPrintable(QString::number(sound.tones[1] - sound.tones[0])));

        // The bell is spaced the same way.
        sound.toneAvailable = false;
        beeper.beep();
        beeper.beep();
        waitForWaitingBeeps();
        QCOMPARE(sound.bells.size(), 2);
        QVERIFY(sound.bells[1] - sound.bells[0] >= Beeper::kSpacingMilliseconds);
        QVERIFY(sound.bells[0] - sound.tones[1] >= Beeper::kSpacingMilliseconds);
    }

    void fastKeysMergeBeepsRatherThanLagBehind() {
        FakeOutputs sound;
        Beeper beeper(sound.outputs());
        for (int i = 0; i < 6; ++i) beeper.beep();
        waitForWaitingBeeps();
        QCOMPARE(sound.tones.size(), 1 + Beeper::kMostWaiting);
    }

    void mutingSilencesWaitingBeepsAndIsRemembered() {
        FakeOutputs sound;
        {
            Beeper beeper(sound.outputs());
            QVERIFY(!beeper.isMuted());
            beeper.beep();
            beeper.beep();
            beeper.setMuted(true);
            beeper.beep();
            waitForWaitingBeeps();
            QCOMPARE(sound.tones.size(), 1);
            QVERIFY(sound.bells.isEmpty());
        }
        Beeper nextRun(sound.outputs());
        QVERIFY(nextRun.isMuted());
        nextRun.beep();
        QCOMPARE(sound.tones.size(), 1);
    }

    // The View menu's item mutes the drill, and a new main window shows
    // the choice.
    void muteItemMutesTheDrill() {
        FakeOutputs sound;
        Beeper beeper(sound.outputs());
        ScriptedRandom random;
        Services services = quietServices(random);
        services.beep = [&beeper] { beeper.beep(); };
        services.sound = &beeper;
        auto app = std::make_unique<TrainerApp>(services);
        Form1 *form1 = app->showMainWindow();
        QVERIFY(QTest::qWaitForWindowActive(form1));
        QAction *mute = control<QAction>(form1, "mnumute");
        QVERIFY(mute->isCheckable() && !mute->isChecked());

        form1->start();
        auto *homeRow = control<QRadioButton>(form1, "Option1");
        QTest::mouseClick(homeRow, Qt::LeftButton);
        QTest::keyClick(homeRow, Qt::Key_Return);  // shows ち
        QTest::keyClick(homeRow, 'x');             // a miss: two beeps
        waitForWaitingBeeps();
        QCOMPARE(sound.tones.size(), 3);

        mute->trigger();
        QVERIFY(beeper.isMuted());
        QTest::keyClick(homeRow, 'x');
        waitForWaitingBeeps();
        QCOMPARE(sound.tones.size(), 3);

        app.reset();
        app = std::make_unique<TrainerApp>(services);
        QVERIFY(control<QAction>(app->showMainWindow(), "mnumute")->isChecked());
    }

    // Short enough that two beeps a spacing apart leave a pause between
    // them, soft at both ends so that it does not click, and well below
    // full scale.
    void theToneIsShortAndSoftEdged() {
        QFile file(QStringLiteral(":/sounds/beep.wav"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        int sampleRate = 0;
        const QList<qint16> samples = pcmSamples(file.readAll(), &sampleRate);
        QVERIFY(!samples.isEmpty());
        QVERIFY(sampleRate >= 22050);
        const qint64 milliseconds = samples.size() * 1000LL / sampleRate;
        QVERIFY2(milliseconds >= 30 && milliseconds <= Beeper::kSpacingMilliseconds - 50,
                 qPrintable(QString::number(milliseconds)));
        QVERIFY(qAbs(samples.front()) < 100 && qAbs(samples.back()) < 100);
        qint16 peak = 0;
        for (qint16 sample : samples) peak = std::max<qint16>(peak, qAbs(sample));
        QVERIFY(peak > 3000 && peak < 16384);
    }
};

TAPMORA_TEST_MAIN(SoundTest)
#include "sound_test.moc"
