// The JIS keyboard description, reading key events by position, the input
// check and the keyboard window's state, without real key events (those
// run under Xvfb in xkb_keys_test.cpp).
#include <map>
#include <set>

#include <QAction>
#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPaintEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include "trainer/model/course_tables.h"
#include "trainer/model/input_check.h"
#include "trainer/model/jis_keyboard.h"
#include "trainer/tests/quiet_services.h"
#include "trainer/tests/scratch_settings.h"
#include "trainer/tests/scripted_random.h"
#include "trainer/ui/form1.h"
#include "trainer/ui/frm_keyboard.h"
#include "trainer/ui/frm_weak_practice.h"
#include "trainer/ui/jis_keyboard_view.h"
#include "trainer/ui/key_reading.h"
#include "trainer/ui/keyboard_coach.h"
#include "trainer/ui/texts.h"
#include "trainer/ui/trainer_app.h"

using namespace tapmora;

namespace {

const JisKey &keyAt(std::uint16_t evdevCode) {
    const JisKey *key = jisKey(evdevCode);
    if (!key) qFatal("no key %u", evdevCode);
    return *key;
}

// A key event as X11 delivers it: the XKB keycode as native scan code and
// the core modifier state (Shift 0x1, Lock 0x2) as native modifiers.
QKeyEvent x11Key(std::uint16_t evdevCode, const QString &text,
                 Qt::KeyboardModifiers modifiers = Qt::NoModifier, quint32 state = 0) {
    if (modifiers & Qt::ShiftModifier) state |= 0x1;
    return QKeyEvent(QEvent::KeyPress, 0, modifiers, evdevCode + evdev::kXkbOffset, 0, state, text);
}

std::int16_t code(char c) { return static_cast<std::int16_t>(c); }

// Collects the regions a widget is asked to paint.
class PaintRecorder final : public QObject {
public:
    QRegion painted;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint) painted += static_cast<QPaintEvent *>(event)->region();
        return false;
    }
};

}  // namespace

class KeyboardTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QSettings().clear(); }

    void everyCourseEntryIsTypedOnTheKeyBearingItsKana() {
        for (int c = 1; c <= kCourseCount; ++c)
            for (const CourseEntry &entry : course(c).entries) {
                const auto stroke = strokeForKana(entry.kana);
                const QByteArray what = QString(QChar(entry.kana)).toUtf8();
                QVERIFY2(stroke, what);
                QCOMPARE(deliveredCode(*stroke->key, stroke->shift, false), entry.keyCode);
                QVERIFY2(stroke->key->finger != Finger::None, what);
            }
        QCOMPARE(strokeForKana(u'ぁ'), (KeyStroke{&keyAt(4), true}));
        QCOMPARE(strokeForKana(u'」'), (KeyStroke{&keyAt(evdev::kBackslash), true}));
        QVERIFY(!strokeForKana(u'A'));
        QVERIFY(!strokeForKana(0));
    }

    // Only 92 is ambiguous, as the course tables say: ¥ and ろ both give it.
    void eachCourseKeyCodeComesFromOneKeyAndShiftState() {
        std::map<std::int16_t, std::set<std::pair<std::uint16_t, bool>>> producers;
        for (const JisKey &key : jisKeys())
            for (bool shift : {false, true})
                if (const auto delivered = deliveredCode(key, shift, false))
                    producers[*delivered].insert({key.evdevCode, shift});
        for (int c = 1; c <= kCourseCount; ++c)
            for (const CourseEntry &entry : course(c).entries) {
                const auto &keys = producers[entry.keyCode];
                if (entry.keyCode == 92)
                    QCOMPARE(keys, (std::set<std::pair<std::uint16_t, bool>>{{evdev::kYen, false},
                                                                             {evdev::kRo, false}}));
                else
                    QVERIFY2(keys.size() == 1, qPrintable(QString::number(entry.keyCode)));
            }
        QCOMPARE(strokeForCode(92), (KeyStroke{&keyAt(evdev::kYen), false}));
        QCOMPARE(strokeForCode('A'), (KeyStroke{&keyAt(30), true}));
        QVERIFY(!strokeForCode(0));
    }

    void rowsAreFilledEdgeToEdgeWithoutOverlap() {
        for (int row = 0; row < 4; ++row) {
            std::vector<std::pair<int, int>> spans;
            for (const JisKey &key : jisKeys()) {
                if (key.row == row) spans.push_back({key.left, key.right()});
                if (key.rows == 2 && key.row + 1 == row)
                    spans.push_back({key.lowerLeft, key.right()});
            }
            std::ranges::sort(spans);
            int edge = 0;
            for (auto [left, right] : spans) {
                QCOMPARE(left, edge);
                edge = right;
            }
            QCOMPARE(edge, kRowQuarters);
        }
        std::set<char16_t> kana;
        for (const JisKey &key : jisKeys())
            for (char16_t k : {key.kana, key.shiftedKana})
                if (k != 0) QVERIFY2(kana.insert(k).second, "a kana on two keys");
    }

    void codesFollowShiftAndCapsLockAsOnAJisLayout() {
        const JisKey &a = keyAt(30);
        QCOMPARE(deliveredCode(a, false, false), code('a'));
        QCOMPARE(deliveredCode(a, true, false), code('A'));
        QCOMPARE(deliveredCode(a, false, true), code('A'));
        QCOMPARE(deliveredCode(a, true, true), code('a'));
        QCOMPARE(deliveredCode(keyAt(4), false, true), code('3'));  // Caps Lock leaves digits
        QCOMPARE(deliveredCode(keyAt(4), true, false), code('#'));
        QCOMPARE(deliveredCode(keyAt(3), true, false), code('"'));
        QCOMPARE(deliveredCode(keyAt(11), true, false), std::nullopt);  // Shift+0
        QCOMPARE(deliveredCode(keyAt(28), false, false), std::int16_t{13});
        QCOMPARE(deliveredCode(keyAt(14), false, false), std::int16_t{8});
        QCOMPARE(deliveredCode(keyAt(evdev::kSpace), true, false), code(' '));
        QCOMPARE(deliveredCode(keyAt(15), false, false), std::nullopt);  // Tab
        QCOMPARE(deliveredCode(keyAt(evdev::kLeftShift), false, false), std::nullopt);
    }

    void standInsTakeThePlaceOfTheJisOnlyKeys() {
        const StandIns defaults;
        QCOMPARE(pressedJisKey(evdev::kGrave, defaults), &keyAt(evdev::kYen));
        QCOMPARE(pressedJisKey(evdev::kRightCtrl, defaults), &keyAt(evdev::kRo));
        QCOMPARE(pressedJisKey(evdev::kYen, defaults), &keyAt(evdev::kYen));
        QCOMPARE(pressedJisKey(evdev::kRo, defaults), &keyAt(evdev::kRo));
        QCOMPARE(pressedJisKey(evdev::kIsoExtra, defaults), nullptr);
        QCOMPARE(pressedJisKey(79, defaults), nullptr);  // keypad 1
        QCOMPARE(pressedJisKey(0, defaults), nullptr);
        const StandIns none{0, 0};
        QCOMPARE(pressedJisKey(evdev::kGrave, none), &keyAt(evdev::kGrave));
        QCOMPARE(pressedJisKey(evdev::kRightCtrl, none), nullptr);
        const StandIns iso{evdev::kIsoExtra, evdev::kMenu};
        QCOMPARE(pressedJisKey(evdev::kIsoExtra, iso), &keyAt(evdev::kYen));
        QCOMPARE(pressedJisKey(evdev::kMenu, iso), &keyAt(evdev::kRo));
        for (std::uint16_t candidate : standInCandidates())
            QVERIFY(!jisKey(candidate) || jisKey(candidate)->kana == 0);
    }

    void touchTypistsHoldTheOtherHandsShift() {
        QCOMPARE(shiftKeyFor(keyAt(4)).evdevCode, evdev::kRightShift);  // 3, left hand
        QCOMPARE(shiftKeyFor(keyAt(51)).evdevCode, evdev::kLeftShift);  // comma, right hand
        QCOMPARE(shiftKeyFor(keyAt(evdev::kBackslash)).evdevCode, evdev::kLeftShift);
    }

    void charactersTellTheInputMode() {
        QCOMPARE(classifyCharacter(u'a'), CharacterKind::Jis);
        QCOMPARE(classifyCharacter(u'\r'), CharacterKind::Jis);
        QCOMPARE(classifyCharacter(u'¥'), CharacterKind::Jis);
        QCOMPARE(classifyCharacter(u'ち'), CharacterKind::Kana);
        QCOMPARE(classifyCharacter(u'ﾁ'), CharacterKind::Kana);  // half-width, a kana lock
        QCOMPARE(classifyCharacter(u'ー'), CharacterKind::Kana);
        QCOMPARE(classifyCharacter(u'。'), CharacterKind::FullWidth);
        QCOMPARE(classifyCharacter(u'ａ'), CharacterKind::FullWidth);
        QCOMPARE(classifyCharacter(u'漢'), CharacterKind::FullWidth);
        QCOMPARE(classifyCharacter(u'ä'), CharacterKind::Other);
        QCOMPARE(classifyCharacter(u'ж'), CharacterKind::Other);
    }

    void inputCheckNamesTheMostPressingProblem() {
        InputCheck check;
        check.keySeen(u'a', false, false, true);
        QCOMPARE(check.warning(), InputWarning::None);
        check.keySeen(u'A', false, std::nullopt, false);  // a capital without Shift
        QCOMPARE(check.warning(), InputWarning::CapsLock);
        check.keySeen(0, false, std::nullopt, false);  // Shift alone keeps it
        QCOMPARE(check.warning(), InputWarning::CapsLock);
        check.keySeen(u'ﾁ', false, std::nullopt, true);
        QCOMPARE(check.warning(), InputWarning::KanaInput);
        check.inputMethodSeen();
        QCOMPARE(check.warning(), InputWarning::InputMethod);
        check.keySeen(u'1', false, std::nullopt, false);
        QCOMPARE(check.warning(), InputWarning::CapsLock);
        check.keySeen(u'1', false, false, true);  // the platform reports the lock off
        QCOMPARE(check.warning(), InputWarning::None);

        check.keySeen(u'ä', false, false, true);  // placed by position: harmless
        QCOMPARE(check.warning(), InputWarning::None);
        check.keySeen(u'ä', false, std::nullopt, false);
        QCOMPARE(check.warning(), InputWarning::UnplacedCharacter);
        check.keySeen(u'a', true, std::nullopt, false);  // Shift with a small letter: Caps Lock
        QCOMPARE(check.warning(), InputWarning::CapsLock);
    }

    // Real key events on real layouts are in xkb_keys_test.cpp; these are
    // the cases no layout switch shows.
    void keysOffTheJisBlockAndChordsAreLeftToTheirCharacters() {
        const KeyReader reader(true);
        const StandIns standIns;
        KeyReading reading = reader.read(x11Key(30, "\x01", Qt::ControlModifier), standIns);
        QVERIFY(!reading.byPosition);
        QCOMPARE(reading.character, u'\x01');
        QCOMPARE(reading.stroke->key, &keyAt(30));
        reading = reader.read(x11Key(79, "1"), standIns);  // keypad
        QVERIFY(!reading.byPosition);
        QVERIFY(!reading.stroke);
        QKeyEvent noScanCode(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
        QVERIFY(!reader.read(noScanCode, standIns).byPosition);
        const KeyReader byCharacter(false);
        reading = byCharacter.read(x11Key(30, "a"), standIns);
        QVERIFY(!reading.byPosition);
        QCOMPARE(reading.capsLock, std::nullopt);
    }

    void standInChoicesAreRememberedAndNeverShared() {
        {
            KeyboardCoach coach{KeyReader(true)};
            QSignalSpy status(&coach, &KeyboardCoach::statusChanged);
            coach.setStandIn(&StandIns::ro, evdev::kGrave);  // taken from ¥
            QCOMPARE(coach.standIns().ro, evdev::kGrave);
            QCOMPARE(coach.standIns().yen, 0);
            coach.setStandIn(&StandIns::yen, evdev::kIsoExtra);
            QCOMPARE(status.count(), 2);
        }
        KeyboardCoach again{KeyReader(true)};
        QCOMPARE(again.standIns().yen, evdev::kIsoExtra);
        QCOMPARE(again.standIns().ro, evdev::kGrave);

        QSettings().setValue("keyboard/yenStandIn", 30);  // A bears a kana: not offered
        QCOMPARE(KeyboardCoach{KeyReader(true)}.standIns().yen, StandIns().yen);
    }

    void viewShowsTheTargetAndAMissUntilTheNextKana() {
        KeyboardCoach coach{KeyReader(true)};
        FrmKeyboard window(coach, nullptr);
        JisKeyboardView *view = window.keyboardView();
        window.resize(800, 400);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(view->keyRect(30).width() > 30);
        QVERIFY(view->keyRect(evdev::kRightShift).right() <= view->width());
        QVERIFY(view->keyRect(999).isEmpty());

        coach.kanaShown(u'ぁ');
        QCOMPARE(view->target(), (KeyStroke{&keyAt(4), true}));
        coach.keyMissed({&keyAt(46), false});
        QCOMPARE(view->miss(), (KeyStroke{&keyAt(46), false}));
        coach.kanaShown(u'あ');  // the next kana clears the miss
        QVERIFY(!view->miss());
        coach.keyMissed({&keyAt(46), false});
        QTRY_VERIFY_WITH_TIMEOUT(!view->miss(), JisKeyboardView::kMissMilliseconds * 3);
    }

    void viewRepaintsOnlyTheKeysThatChange() {
        KeyboardCoach coach{KeyReader(true)};
        FrmKeyboard window(coach, nullptr);
        JisKeyboardView *view = window.keyboardView();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        coach.kanaShown(u'ち');
        QCoreApplication::processEvents();

        PaintRecorder paints;
        view->installEventFilter(&paints);
        coach.kanaShown(u'ぁ');  // from A to 3 with the right Shift
        QTRY_VERIFY(!paints.painted.isEmpty());
        QRegion changed;
        for (std::uint16_t code : {std::uint16_t{30}, std::uint16_t{4}, evdev::kRightShift})
            changed += view->keyRect(code).toAlignedRect().adjusted(-1, -1, 1, 1);
        QCOMPARE(paints.painted.subtracted(changed), QRegion());
        QVERIFY(paints.painted.contains(view->keyRect(4).center().toPoint()));
        QVERIFY(paints.painted.contains(view->keyRect(30).center().toPoint()));
    }
};

// The keyboard window beside a running trainer, driven through the main
// window's drill with key events that carry no position (offscreen).
class KeyboardWindowTest : public QObject {
    Q_OBJECT

    ScriptedRandom random_;
    std::unique_ptr<TrainerApp> app_;
    Form1 *form1_ = nullptr;

    void startTrainer() {
        app_ = std::make_unique<TrainerApp>(quietServices(random_));
        form1_ = app_->showMainWindow();
        QVERIFY(QTest::qWaitForWindowActive(form1_));
    }
    JisKeyboardView *view() { return app_->keyboardWindow()->keyboardView(); }
    QString status() { return app_->keyboardWindow()->findChild<QLabel *>("statusLine")->text(); }
    QAction *menuItem() {
        emit form1_->findChild<QMenu *>("mnuview")->aboutToShow();
        return form1_->findChild<QAction *>("mnukeyboard");
    }
    // Starts the drill on `course` and shows the kana with `index`.
    void showKana(int course, int index) {
        form1_->findChild<QPushButton *>("cmdstart")->click();
        auto *option = form1_->findChild<QRadioButton *>(QStringLiteral("Option%1").arg(course));
        QTest::mouseClick(option, Qt::LeftButton);
        random_.draws = {ScriptedRandom::pick(index, tapmora::course(course).drawCount)};
        QTest::keyClick(option, Qt::Key_Return);
    }
    void type(char character) { QTest::keyClick(QApplication::focusWidget(), character); }

private slots:
    void init() {
        QSettings().clear();
        startTrainer();
    }
    void cleanup() {
        app_.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void opensWithTheMainWindowWithoutTakingTheFocus() {
        FrmKeyboard *keyboard = app_->keyboardWindow();
        QVERIFY(keyboard && keyboard->isVisible());
        QCOMPARE(keyboard->windowTitle(), u"キーボード");
        QVERIFY(!view()->target());
        QCOMPARE(QApplication::activeWindow(), form1_);
        QCOMPARE(QApplication::focusWidget(), form1_->findChild<QPushButton *>("cmdstart"));
    }

    void menuItemShowsAndHidesItForThisRunAndTheNext() {
        QVERIFY(menuItem()->isChecked());
        menuItem()->trigger();
        QTRY_VERIFY(!app_->keyboardWindow());
        QVERIFY(!menuItem()->isChecked());
        startTrainer();
        QVERIFY(!app_->keyboardWindow());

        menuItem()->trigger();
        QVERIFY(app_->keyboardWindow()->isVisible());
        app_->keyboardWindow()->setGeometry(40, 50, 500, 260);
        startTrainer();  // ending with the window open is no close
        QCOMPARE(app_->keyboardWindow()->geometry(), QRect(40, 50, 500, 260));
    }

    void closingTheMainWindowTakesItAlongAndBringsItBack() {
        form1_->close();
        QTRY_VERIFY(!app_->mainWindow());
        QVERIFY(!app_->keyboardWindow());
        app_->showMainWindow();
        QVERIFY(app_->keyboardWindow());
    }

    void keyboardShowsTheKanasKeyAndTheKeyMissed() {
        showKana(1, 1);  // ち
        QCOMPARE(view()->target(), strokeForKana(u'ち'));
        random_.draws = {ScriptedRandom::pick(1, 12)};
        type('x');
        QCOMPARE(view()->miss(), (KeyStroke{jisKey(45), false}));
        QCOMPARE(view()->target(), strokeForKana(u'ち'));
        random_.draws = {ScriptedRandom::pick(3, 12)};
        type('a');  // right: the next kana, no miss
        QCOMPARE(view()->target(), strokeForKana(u'し'));
        QVERIFY(!view()->miss());
    }

    void weakKanaPracticeFeedsTheKeyboardToo() {
        FrmWeakPractice *practice = app_->showWeakPractice(1);
        QTest::keyClick(practice, Qt::Key_Return);
        const QString shown = practice->findChild<QLabel *>("lblKana")->text();
        QCOMPARE(view()->target(), strokeForKana(shown.front().unicode()));
        const char wrong = shown == u"ち" ? 's' : 'a';
        QTest::keyClick(practice, wrong);
        QCOMPARE(view()->miss(), strokeForCode(wrong));
    }

    void statusLineWarnsAboutCapsLockAndInputMethods() {
        QCOMPARE(status(), texts::keyboard::kJudgingByCharacter);
        showKana(1, 1);
        type('A');  // a capital without Shift: Caps Lock
        QCOMPARE(status(), texts::keyboard::kCapsLock);
        type('a');
        QCOMPARE(status(), texts::keyboard::kJudgingByCharacter);
        QInputMethodEvent composing(QStringLiteral("ち"), {});
        QApplication::sendEvent(QApplication::focusWidget(), &composing);
        QCOMPARE(status(), texts::keyboard::kInputMethod);
    }

    void standInMenuChoosesTheKey() {
        auto *choice = app_->keyboardWindow()->findChild<QAction *>("yenStandIn86");
        QVERIFY(choice);
        choice->trigger();
        QCOMPARE(app_->keyboard().standIns().yen, evdev::kIsoExtra);
        app_->keyboardWindow()->findChild<QAction *>("roStandIn86")->trigger();
        QCOMPARE(app_->keyboard().standIns().yen, 0);
    }
};

int main(int argc, char **argv) {
    useScratchSettings();
    QApplication application(argc, argv);
    KeyboardTest model;
    KeyboardWindowTest window;
    return QTest::qExec(&model, argc, argv) | QTest::qExec(&window, argc, argv);
}

#include "keyboard_test.moc"
