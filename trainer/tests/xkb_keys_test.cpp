// Real key events under X11 (run by run_under_xvfb.sh): the X server's
// keymap is switched between the JIS layout, its 109A variant and the US
// layout, keys are pressed through the XTEST extension, and every key must
// be read as its JIS key, whatever the layout makes of it.
#include <QApplication>
#include <QKeyEvent>
#include <QProcess>
#include <QTest>

#include "trainer/model/jis_keyboard.h"
#include "trainer/tests/scratch_settings.h"
#include "trainer/tests/x_keyboard.h"
#include "trainer/ui/keyboard_coach.h"

using namespace tapmora;

namespace {

struct Layout {
    const char* layout;
    const char* variant;
    // What the ¥ key types here; also tells that Qt follows the new keymap.
    QString yenKeyText;
    // JIS layouts type the JIS key codes themselves, except Shift+0, which
    // types this.
    bool jis;
    QString shiftZeroText;
};

const Layout kLayouts[] = {
    {"jp", "", QStringLiteral("\\"), true, QStringLiteral("~")},
    {"jp", "OADG109A", QStringLiteral("¥"), true, QStringLiteral("0")},
    {"us", "", QString(), false, QString()},
};

// Data rows name a layout by its index in kLayouts.
void addLayoutRows() {
    QTest::addColumn<int>("layout");
    for (std::size_t i = 0; i < std::size(kLayouts); ++i) {
        const Layout& layout = kLayouts[i];
        const QByteArray name = *layout.variant
                                    ? QByteArray(layout.layout) + '(' + layout.variant + ')'
                                    : QByteArray(layout.layout);
        QTest::newRow(name.constData()) << static_cast<int>(i);
    }
}

// What a JIS layout types for a key, as the drill would read it by its
// character.
QString jisText(const Layout& layout, const JisKey& key, bool shift) {
    if (key.evdevCode == evdev::kYen && !shift)
        return layout.yenKeyText;
    if (key.code == '0' && shift)
        return layout.shiftZeroText;
    const auto code = deliveredCode(key, shift, false);
    return code ? QString(QChar(*code)) : QString();
}

// Loads a layout into the server, as a desktop's keyboard settings do.
bool loadLayout(const Layout& layout) {
    QProcess loader;
    loader.start(QStringLiteral("sh"),
                 {QStringLiteral("-c"),
                  QStringLiteral("setxkbmap -print -layout \"$1\" -variant \"$2\" | "
                                 "xkbcomp -w 0 - \"$DISPLAY\""),
                  QStringLiteral("sh"), QString::fromLatin1(layout.layout),
                  QString::fromLatin1(layout.variant)});
    return loader.waitForFinished(30000) && loader.exitStatus() == QProcess::NormalExit &&
           loader.exitCode() == 0;
}

// A focused window that reads every key pressed on it.
class KeySink final : public QWidget {
public:
    explicit KeySink(KeyboardCoach& coach) : coach_(coach) { setFocusPolicy(Qt::StrongFocus); }

    struct Received {
        KeyReading reading;
        QString text;
    };
    QList<Received> received;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (!isModifier(event->key()))
            received.append({coach_.read(*event), event->text()});
    }

private:
    static bool isModifier(int key) { return key == Qt::Key_Shift; }
    KeyboardCoach& coach_;
};

}  // namespace

class XkbKeysTest : public QObject {
    Q_OBJECT

    XKeyboard keyboard_;
    KeyboardCoach coach_;
    std::unique_ptr<KeySink> sink_;

    // Types one key and returns how it was read.
    KeySink::Received typed(std::uint16_t evdevCode, bool shift) {
        const qsizetype before = sink_->received.size();
        keyboard_.type(evdevCode, shift);
        if (!QTest::qWaitFor([&] { return sink_->received.size() > before; }))
            qFatal("key %u never arrived", evdevCode);
        return sink_->received.back();
    }

    void useLayout(const Layout& layout) {
        QVERIFY2(loadLayout(layout), layout.layout);
        QCOMPARE(typed(evdev::kYen, false).text, layout.yenKeyText);
    }

private slots:
    void initTestCase() {
        QVERIFY(KeyReader::platformGivesKeyPositions());
        sink_ = std::make_unique<KeySink>(coach_);
        sink_->resize(200, 100);
        sink_->show();
        sink_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(sink_.get()));
    }

    void everyKeyIsReadAsItsJisKey_data() { addLayoutRows(); }
    void everyKeyIsReadAsItsJisKey() {
        QFETCH(int, layout);
        useLayout(kLayouts[layout]);
        const StandIns& standIns = coach_.standIns();
        for (const JisKey& key : jisKeys()) {
            // Shift, Tab, 英数 and 半/全 type nothing; stand-ins have their own test.
            if (key.code == 0 || key.evdevCode == standIns.yen || key.evdevCode == standIns.ro)
                continue;
            for (bool shift : {false, true}) {
                const auto [reading, text] = typed(key.evdevCode, shift);
                const QByteArray what = QStringLiteral("key %1 shift %2")
                                            .arg(key.evdevCode)
                                            .arg(shift)
                                            .toUtf8();
                QVERIFY2(reading.byPosition, what);
                QCOMPARE(reading.stroke, (KeyStroke{&key, shift}));
                QCOMPARE(reading.code, deliveredCode(key, shift, false));
                if (kLayouts[layout].jis)
                    QCOMPARE(text, jisText(kLayouts[layout], key, shift));
            }
        }
    }
};

TAPMORA_TEST_MAIN(XkbKeysTest)

#include "xkb_keys_test.moc"
