// Real key events under X11 (run by run_under_xvfb.sh): the X server's
// keymap is switched between the JIS layout, its 109A variant and the US
// layout, keys are pressed through the XTEST extension, and every key must
// be read as its JIS key and every kana of every course typed right on its
// key, whatever the layout makes of it.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "trainer/model/jis_keyboard.h"
#include "trainer/tests/quiet_services.h"
#include "trainer/tests/scratch_settings.h"
#include "trainer/tests/scripted_random.h"
#include "trainer/tests/x_keyboard.h"
#include "trainer/ui/form1.h"
#include "trainer/ui/frm_keyboard.h"
#include "trainer/ui/jis_keyboard_view.h"
#include "trainer/ui/keyboard_coach.h"
#include "trainer/ui/texts.h"
#include "trainer/ui/trainer_app.h"

using namespace tapmora;

namespace {

struct Layout {
    const char *layout;
    const char *variant;
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
const Layout &kUs = kLayouts[2];
const Layout kJpKana{"jp", "kana", QStringLiteral("ー"), false, QString()};

// Data rows name a layout by its index in kLayouts.
void addLayoutRows() {
    QTest::addColumn<int>("layout");
    for (std::size_t i = 0; i < std::size(kLayouts); ++i) {
        const Layout &layout = kLayouts[i];
        const QByteArray name = *layout.variant
                                    ? QByteArray(layout.layout) + '(' + layout.variant + ')'
                                    : QByteArray(layout.layout);
        QTest::newRow(name.constData()) << static_cast<int>(i);
    }
}

// What a JIS layout types for a key, as the drill would read it by its
// character.
QString jisText(const Layout &layout, const JisKey &key, bool shift) {
    if (key.evdevCode == evdev::kYen && !shift) return layout.yenKeyText;
    if (key.code == '0' && shift) return layout.shiftZeroText;
    const auto code = deliveredCode(key, shift, false);
    return code ? QString(QChar(*code)) : QString();
}

// Loads a layout into the server, as a desktop's keyboard settings do.
bool loadLayout(const Layout &layout) {
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

// Records the key presses that reach the focused control, whichever window
// it is in, read as the trainer reads them.
class KeyRecorder final : public QObject {
public:
    struct Press {
        quint32 scanCode;
        QString text;
        KeyReading reading;
    };
    QList<Press> presses;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::KeyPress && watched == QApplication::focusWidget()) {
            const auto *key = static_cast<QKeyEvent *>(event);
            presses.append({key->nativeScanCode(), key->text(), reader_.read(*key, StandIns())});
        }
        return false;
    }

private:
    KeyReader reader_{true};
};

}  // namespace

class XkbKeysTest : public QObject {
    Q_OBJECT

    XKeyboard keyboard_;
    KeyRecorder recorder_;
    QWidget sink_;  // takes the keys while no trainer runs
    ScriptedRandom random_;
    std::unique_ptr<TrainerApp> app_;
    Form1 *form1_ = nullptr;

    // Types one key and waits until it has been handled.
    KeyRecorder::Press typed(std::uint16_t evdevCode, bool shift = false) {
        keyboard_.type(evdevCode, shift);
        const auto arrived = [&] {
            return !recorder_.presses.empty() &&
                   recorder_.presses.back().scanCode == evdevCode + evdev::kXkbOffset + 0u;
        };
        if (!QTest::qWaitFor(arrived)) qFatal("key %u never arrived", evdevCode);
        KeyRecorder::Press press = recorder_.presses.back();
        recorder_.presses.clear();
        return press;
    }
    void type(KeyStroke stroke) { typed(stroke.key->evdevCode, stroke.shift); }

    // Loads a layout and proves, on the bare sink, that Qt follows it.
    void useLayout(const Layout &layout) {
        app_.reset();
        sink_.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&sink_));
        QVERIFY2(loadLayout(layout), layout.layout);
        QCOMPARE(typed(evdev::kYen).text, layout.yenKeyText);
    }

    void startTrainer() {
        app_ = std::make_unique<TrainerApp>(quietServices(random_));
        form1_ = app_->showMainWindow();
        QVERIFY(QTest::qWaitForWindowActive(form1_));
        form1_->findChild<QPushButton *>("cmdstart")->click();
    }
    void chooseCourse(int course) {
        QTest::mouseClick(form1_->findChild<QRadioButton *>(QStringLiteral("Option%1").arg(course)),
                          Qt::LeftButton);
    }
    // Shows an entry's kana by the first key of a course on a display the
    // course does not judge.
    void showFirst(const CourseEntry &entry, int drawCount) {
        random_.draws = {ScriptedRandom::pick(entry.index, drawCount)};
        typed(28);  // Enter
        QCOMPARE(kana(), QString(QChar(entry.kana)));
    }
    QString kana() { return form1_->findChild<QLabel *>("Label2")->text(); }
    JisKeyboardView *view() { return app_->keyboardWindow()->keyboardView(); }
    QString status() { return app_->keyboardWindow()->findChild<QLabel *>("statusLine")->text(); }

private slots:
    void initTestCase() {
        QVERIFY(KeyReader::platformGivesKeyPositions());
        qApp->installEventFilter(&recorder_);
        sink_.setFocusPolicy(Qt::StrongFocus);
        sink_.resize(200, 100);
        sink_.show();
    }
    void cleanup() { app_.reset(); }

    void everyKeyIsReadAsItsJisKey_data() { addLayoutRows(); }
    void everyKeyIsReadAsItsJisKey() {
        QFETCH(int, layout);
        useLayout(kLayouts[layout]);
        for (const JisKey &key : jisKeys()) {
            // Shift, Tab, 英数 and 半/全 type nothing.
            if (key.code == 0) continue;
            for (bool shift : {false, true}) {
                const auto [scanCode, text, reading] = typed(key.evdevCode, shift);
                const QByteArray what =
                    QStringLiteral("key %1 shift %2").arg(key.evdevCode).arg(shift).toUtf8();
                QVERIFY2(reading.byPosition, what);
                QCOMPARE(reading.stroke, (KeyStroke{&key, shift}));
                QCOMPARE(reading.code, deliveredCode(key, shift, false));
                if (kLayouts[layout].jis) QCOMPARE(text, jisText(kLayouts[layout], key, shift));
            }
        }
    }

    void everyCourseEntryIsTypedRightOnItsKey_data() { addLayoutRows(); }
    void everyCourseEntryIsTypedRightOnItsKey() {
        QFETCH(int, layout);
        useLayout(kLayouts[layout]);
        startTrainer();
        // The all-keys course before the shifted one: each course's first
        // key then meets a kana the course does not judge.
        for (int c : {1, 2, 3, 4, 6, 5}) {
            chooseCourse(c);
            const Course &drilled = course(c);
            showFirst(drilled.entries.front(), drilled.drawCount);
            const ScoreModule before = app_->scores();
            for (std::size_t i = 0; i < drilled.entries.size(); ++i) {
                const CourseEntry &next = drilled.entries[(i + 1) % drilled.entries.size()];
                random_.draws = {ScriptedRandom::pick(next.index, drilled.drawCount)};
                type(*strokeForKana(drilled.entries[i].kana));
                QCOMPARE(kana(), QString(QChar(next.kana)));
            }
            const int typed = static_cast<int>(drilled.entries.size());
            QCOMPARE(app_->scores().*kCorrectCounts[c - 1], before.*kCorrectCounts[c - 1] + typed);
            QCOMPARE(app_->scores().*kWrongCounts[c - 1], 0);
        }
    }

    void standInsTypeTheJisOnlyKeysOnAUsKeyboard() {
        useLayout(kUs);
        startTrainer();
        QCOMPARE(status(), texts::keyboard::judgingByPosition(evdev::kGrave, evdev::kRightCtrl));
        chooseCourse(3);
        showFirst(course(3).entries[12], course(3).drawCount);  // ー
        random_.draws = {ScriptedRandom::pick(13, 13)};
        typed(evdev::kGrave);
        QCOMPARE(app_->scores().ScoreHome2Up, 1);
        chooseCourse(4);
        showFirst(course(4).entries[10], course(4).drawCount);  // ろ
        typed(evdev::kRightCtrl);
        QCOMPARE(app_->scores().ScoreHomeDown, 1);
        QCOMPARE(app_->scores().EScoreHomeDown + app_->scores().EScoreHome2Up, 0);
    }

    void missShowsThePhysicalKeyWithItsShift() {
        useLayout(kUs);
        startTrainer();
        chooseCourse(3);
        showFirst(course(3).entries[1], course(3).drawCount);  // ふ, the 2 key
        typed(3, true);  // "@" on this layout; the JIS key types '"'
        QCOMPARE(app_->scores().EScoreHome2Up, 1);
        QCOMPARE(view()->target(), strokeForKana(u'ふ'));
        QCOMPARE(view()->miss(), (KeyStroke{jisKey(3), true}));
    }

    void capsLockCountsLettersWrongAndIsReported() {
        useLayout(kUs);
        startTrainer();
        chooseCourse(1);
        showFirst(course(1).entries[0], course(1).drawCount);  // ち
        typed(58);                                             // Caps Lock on
        typed(30);                                             // "A"
        QCOMPARE(app_->scores().EScoreHome, 1);
        QCOMPARE(status(), texts::keyboard::kCapsLock);
        typed(58);  // and off
        typed(30);
        QCOMPARE(app_->scores().ScoreHome, 1);
        QCOMPARE(status(), texts::keyboard::judgingByPosition(evdev::kGrave, evdev::kRightCtrl));
    }

    void kanaInputIsJudgedByPositionAndReported() {
        useLayout(kJpKana);
        startTrainer();
        chooseCourse(1);
        showFirst(course(1).entries[0], course(1).drawCount);  // ち
        QCOMPARE(typed(30).text, u"チ");
        QCOMPARE(app_->scores().ScoreHome, 1);
        QCOMPARE(status(), texts::keyboard::kKanaInput);
    }

    void keyboardWindowOpensBesideTheMainWindow() {
        startTrainer();
        FrmKeyboard *keyboard = app_->keyboardWindow();
        QVERIFY(QTest::qWaitForWindowExposed(keyboard));
        QVERIFY(!keyboard->frameGeometry().intersects(form1_->frameGeometry()));
        QCOMPARE(keyboard->y(), form1_->y());
        QVERIFY(keyboard->screen()->availableGeometry().contains(keyboard->frameGeometry()));
        QCOMPARE(QApplication::activeWindow(), form1_);
    }
};

TAPMORA_TEST_MAIN(XkbKeysTest)

#include "xkb_keys_test.moc"
