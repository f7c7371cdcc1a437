// The three windows driven by real key and mouse events: the main window's
// states and drill, the score window's live table and the version window.
#include <memory>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include "trainer/tests/find_control.h"
#include "trainer/tests/scratch_settings.h"
#include "trainer/tests/scripted_random.h"
#include "trainer/ui/form1.h"
#include "trainer/ui/frm_about.h"
#include "trainer/ui/frm_print_score.h"
#include "trainer/ui/texts.h"
#include "trainer/ui/trainer_app.h"

using namespace tapmora;

namespace {

constexpr const char *kCellNames[] = {
    "LblScoreHome",      "LblScoreHome1Up",   "LblScoreHome2Up",   "LblScoreHomeDown",
    "LblScoreUseShift",  "LblScoreAll",       "LblEScoreHome",     "LblEScoreHome1Up",
    "LblEScoreHome2Up",  "LblEScoreHomeDown", "LblEScoreUseShift", "LblEScoreAll",
    "LblAScoreHome",     "LblAScoreHome1Up",  "LblAScoreHome2Up",  "LblAScoreHomeDown",
    "LblAScoreUseShift", "LblAScoreAll",      "LblATrue",          "LblAFalse",
    "LBLATFAll",
};

QLabel *label(QWidget *window, const char *name) { return control<QLabel>(window, name); }
QPushButton *button(QWidget *window, const char *name) {
    return control<QPushButton>(window, name);
}
QAction *action(QWidget *window, const char *name) { return control<QAction>(window, name); }

// Sends a key the way the window system does: to the focused control.
void type(int key, const QString &text = QString(),
          Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget *focused = QApplication::focusWidget();
    QVERIFY(focused);
    QTest::sendKeyEvent(QTest::Press, focused, Qt::Key(key), text, modifiers);
    QTest::sendKeyEvent(QTest::Release, focused, Qt::Key(key), text, modifiers);
}
void type(char character) { type(QChar(character).toUpper().unicode(), QString(QChar(character))); }
void pressEnter() { type(Qt::Key_Return, QStringLiteral("\r")); }
void pressEscape() { type(Qt::Key_Escape, QStringLiteral("\x1b")); }

}  // namespace

class WindowsTest : public QObject {
    Q_OBJECT

    int beeps_ = 0;
    int quits_ = 0;
    QStringList messages_;  // "title: text"
    QList<QUrl> openedUrls_;
    ScriptedRandom random_;
    std::unique_ptr<TrainerApp> app_;
    Form1 *form1_ = nullptr;

    QRadioButton *option(int course) {
        return control<QRadioButton>(form1_, qPrintable(QStringLiteral("Option%1").arg(course)));
    }
    QString kana() { return label(form1_, "Label2")->text(); }
    bool correctMarkShown() { return label(form1_, "Picture2")->isVisible(); }
    bool wrongMarkShown() { return label(form1_, "Picture3")->isVisible(); }

    // Starts the drill and picks a course by clicking it; the click makes
    // the main window the active one, as a window manager would.
    void chooseCourse(int course) {
        form1_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form1_));
        if (button(form1_, "cmdstart")->isEnabled()) button(form1_, "cmdstart")->click();
        QTest::mouseClick(option(course), Qt::LeftButton);
        QVERIFY(option(course)->hasFocus());
    }
    // Shows the kana with `index` in `course` by a first key on an empty or
    // foreign display.
    void showKanaOf(int course, int index) {
        random_.draws = {ScriptedRandom::pick(index, tapmora::course(course).drawCount)};
        pressEnter();
    }
    QStringList cellTexts(QWidget *scoreWindow) {
        QStringList texts;
        for (const char *name : kCellNames) texts << label(scoreWindow, name)->text();
        return texts;
    }

private slots:
    void init() {
        beeps_ = quits_ = 0;
        messages_.clear();
        openedUrls_.clear();
        random_ = ScriptedRandom();
        Services services;
        services.beep = [this] { ++beeps_; };
        services.message = [this](QWidget *, const QString &title, const QString &text,
                                  QMessageBox::Icon) {
            messages_ << title + QStringLiteral(": ") + text;
        };
        services.openUrl = [this](const QUrl &url) { openedUrls_ << url; };
        services.quit = [this] { ++quits_; };
        services.random = &random_;
        app_ = std::make_unique<TrainerApp>(services);
        form1_ = app_->showMainWindow();
        QVERIFY(QTest::qWaitForWindowActive(form1_));
    }
    void cleanup() {
        app_.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void welcomeStateShowsOnlyTheGreeting() {
        QCOMPARE(form1_->windowTitle(), u"Tapmora for かな打ち");
        QCOMPARE(form1_->centralWidget()->size(), QSize(304, 380));
        QCOMPARE(label(form1_, "Label1")->text(), texts::form1::openingInstructions());
        for (const char *name : {"Picture1", "Label1", "cmdstart", "cmdend", "CmdVersion"})
            QVERIFY2(form1_->findChild<QWidget *>(name)->isVisible(), name);
        for (const char *name : {"Label2", "Label3", "Label4", "Label5", "Frame1", "Picture2",
                                 "Picture3", "CmdPrintScore"})
            QVERIFY2(!form1_->findChild<QWidget *>(name)->isVisible(), name);
        QVERIFY(action(form1_, "mnustart")->isEnabled());
        QCOMPARE(QApplication::focusWidget(), button(form1_, "cmdstart"));
        QCOMPARE(button(form1_, "cmdstart")->nextInFocusChain(), button(form1_, "cmdend"));
        QCOMPARE(button(form1_, "cmdend")->nextInFocusChain(), button(form1_, "CmdVersion"));
    }

    void enterStartsTheDrillUnlessAnotherButtonHasTheFocus() {
        button(form1_, "CmdVersion")->setFocus();
        pressEnter();
        QVERIFY(app_->aboutWindow());
        QVERIFY(button(form1_, "cmdstart")->isEnabled());

        form1_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form1_));
        button(form1_, "cmdstart")->setFocus();
        pressEnter();
        QVERIFY(!button(form1_, "cmdstart")->isEnabled());
    }

    // After the start the keyboard belongs to the courses: a second Enter
    // brings up the first kana instead of reaching the quit button.
    void enterTwiceStartsAndShowsTheFirstKana() {
        pressEnter();
        QCOMPARE(QApplication::focusWidget(), option(1));
        pressEnter();
        QCOMPARE(quits_, 0);
        QCOMPARE(kana(), u"ち");
        QCOMPARE(beeps_, 1);
    }

    void startShowsTheDrillScreenForGood() {
        action(form1_, "mnustart")->trigger();
        QLabel *label1 = label(form1_, "Label1");
        QVERIFY(label1->isVisible());
        QVERIFY(label1->text().isEmpty());
        for (const char *name : {"Label2", "Frame1", "Option1", "Option6", "Label3", "Label4",
                                 "Label5", "CmdPrintScore"})
            QVERIFY2(form1_->findChild<QWidget *>(name)->isVisible(), name);
        QVERIFY(kana().isEmpty());
        QVERIFY(!correctMarkShown() && !wrongMarkShown());
        QVERIFY(!button(form1_, "cmdstart")->isEnabled());
        QVERIFY(!action(form1_, "mnustart")->isEnabled());
        for (int c = 1; c <= kCourseCount; ++c) QVERIFY(!option(c)->isChecked());
    }

    void escapeQuitsInEitherState() {
        pressEscape();
        QCOMPARE(quits_, 1);
        chooseCourse(1);
        showKanaOf(1, 1);
        pressEscape();
        QCOMPARE(quits_, 2);
        QCOMPARE(beeps_, 1);  // Escape is no drill key
        button(form1_, "cmdend")->click();
        action(form1_, "mnuend")->trigger();
        QCOMPARE(quits_, 4);
    }

    void drillJudgesKeysCountsAndBeeps() {
        chooseCourse(1);
        pressEnter();  // empty display: only the first kana
        QCOMPARE(kana(), u"ち");
        QCOMPARE(beeps_, 1);
        QCOMPARE(app_->scores(), ScoreModule{});

        type('a');
        QVERIFY(correctMarkShown() && !wrongMarkShown());
        QCOMPARE(app_->scores().ScoreHome, 1);
        QCOMPARE(beeps_, 2);

        random_.draws = {ScriptedRandom::pick(1, 12)};
        type('x');
        QVERIFY(wrongMarkShown() && !correctMarkShown());
        QCOMPARE(app_->scores().EScoreHome, 1);
        QCOMPARE(kana(), u"ち");
        QCOMPARE(beeps_, 4);

        pressEnter();  // Enter on a displayed kana is a wrong key
        type('A');     // so is a Caps Lock letter
        QCOMPARE(app_->scores().EScoreHome, 3);
        QCOMPARE(app_->scores().ScoreHome, 1);
        QCOMPARE(kana(), u"ち");
    }

    void keysWithoutTextAreNotDrillKeys() {
        chooseCourse(1);
        type(Qt::Key_Shift);
        type(Qt::Key_Down);
        QCOMPARE(beeps_, 0);
        chooseCourse(1);
        type(Qt::Key_Tab, QStringLiteral("\t"));
        QCOMPARE(beeps_, 0);
    }

    // Delete, Pause and the like bring a control character with them here
    // but type nothing on the keyboards the drill was made for; Backspace,
    // Space and Ctrl chords do type one and count against the learner.
    void keysThatTypeNoCharacterAreNotDrillKeys() {
        chooseCourse(1);
        showKanaOf(1, 1);
        type(Qt::Key_Delete, QStringLiteral("\x7f"));
        type(Qt::Key_Pause, QStringLiteral("\x13"));
        QCOMPARE(beeps_, 1);
        QCOMPARE(app_->scores(), ScoreModule{});

        type(Qt::Key_Backspace, QStringLiteral("\b"));
        type(Qt::Key_Space, QStringLiteral(" "));
        type(Qt::Key_A, QStringLiteral("\x01"), Qt::ControlModifier);
        QCOMPARE(app_->scores().EScoreHome, 3);
        QCOMPARE(kana(), u"ち");
    }

    void unassignedDrawsKeepTheDisplay() {
        chooseCourse(5);
        showKanaOf(5, 8);
        QVERIFY(kana().isEmpty());
        showKanaOf(5, 8);  // still nothing to judge
        QCOMPARE(app_->scores(), ScoreModule{});
        showKanaOf(5, 1);
        QCOMPARE(kana(), u"ぁ");
        random_.draws = {ScriptedRandom::pick(8, 13)};
        type('#');
        QVERIFY(correctMarkShown());
        QCOMPARE(kana(), u"ぁ");

        chooseCourse(6);
        random_.draws = {ScriptedRandom::pick(45, 50)};
        type('#');
        QCOMPARE(app_->scores().ScoreAll, 1);
        QCOMPARE(kana(), u"ぁ");
    }

    void yenKeyAnswersBothProlongedMarkAndRo() {
        chooseCourse(3);
        showKanaOf(3, 13);
        QCOMPARE(kana(), u"ー");
        type('\\');
        QCOMPARE(app_->scores().ScoreHome2Up, 1);
        chooseCourse(4);
        showKanaOf(4, 11);  // ー is not in this course: not judged
        QCOMPARE(kana(), u"ろ");
        type('\\');
        QCOMPARE(app_->scores().ScoreHomeDown, 1);
        QCOMPARE(app_->scores().EScoreHomeDown, 0);
    }

    // Some Japanese layouts give the yen key its own sign instead of the
    // backslash; it still stands for the yen key's code.
    void yenSignFromTheYenKeyAnswersTheProlongedMark() {
        chooseCourse(3);
        showKanaOf(3, 13);
        type(Qt::Key_yen, QStringLiteral("\u00a5"));
        QCOMPARE(app_->scores().ScoreHome2Up, 1);
        QCOMPARE(app_->scores().EScoreHome2Up, 0);
    }

    void changingCourseJudgesByTheNewTable() {
        chooseCourse(1);
        showKanaOf(1, 1);  // ち
        chooseCourse(6);   // also has ち
        type('a');
        QCOMPARE(app_->scores().ScoreAll, 1);
        QCOMPARE(kana(), u"ち");
        chooseCourse(4);  // lacks ち
        random_.draws = {ScriptedRandom::pick(2, 11)};
        type('a');
        QCOMPARE(kana(), u"さ");
        QCOMPARE(app_->scores().ScoreHomeDown + app_->scores().EScoreHomeDown, 0);
    }

    void countsGrowAcrossVisitsToACourse() {
        chooseCourse(1);
        showKanaOf(1, 1);
        for (int i = 0; i < 3; ++i) type('a');
        chooseCourse(2);
        showKanaOf(2, 1);
        chooseCourse(1);
        showKanaOf(1, 1);
        type('a');
        QCOMPARE(app_->scores().ScoreHome, 4);
    }

    void counterAtItsLimitIsReportedAndTheDrillGoesOn() {
        app_->scores().ScoreUseShift = 32767;
        chooseCourse(5);
        showKanaOf(5, 1);
        type('#');
        QVERIFY(correctMarkShown());
        QCOMPARE(app_->scores().ScoreUseShift, 32767);
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_.front().contains(u"32767"));
        QCOMPARE(kana(), u"ぁ");
        QCOMPARE(quits_, 0);
        type('x');
        QCOMPARE(app_->scores().EScoreUseShift, 1);
        QCOMPARE(messages_.size(), 1);
    }

    void scoreWindowFollowsTheCounts() {
        chooseCourse(3);
        button(form1_, "CmdPrintScore")->click();
        FrmPrintScore *scores = app_->scoreWindow();
        QVERIFY(scores);
        QCOMPARE(scores->windowTitle(), u"スコア一覧");
        QCOMPARE(cellTexts(scores), QStringList(21, QStringLiteral("0")));

        showKanaOf(3, 1);
        type('1');  // correct in course 3
        QStringList expected(21, QStringLiteral("0"));
        for (int cell : {2, 14, 18, 20}) expected[cell] = QStringLiteral("1");
        QTRY_COMPARE(cellTexts(scores), expected);

        chooseCourse(6);  // ぬ stays on display; this course has it too
        type('x');        // wrong in course 6
        for (int cell : {11, 17, 19}) expected[cell] = QStringLiteral("1");
        expected[20] = QStringLiteral("2");
        QTRY_COMPARE(cellTexts(scores), expected);
    }

    void scoreWindowReopensWithTheSameCounts() {
        app_->scores().ScoreHome = 17;
        action(form1_, "mnustart")->trigger();
        button(form1_, "CmdPrintScore")->click();
        FrmPrintScore *first = app_->scoreWindow();
        button(form1_, "CmdPrintScore")->click();
        QCOMPARE(app_->scoreWindow(), first);

        button(first, "CmdClose")->click();
        QTRY_VERIFY(!app_->scoreWindow());
        button(form1_, "CmdPrintScore")->click();
        QCOMPARE(label(app_->scoreWindow(), "LblScoreHome")->text(), u"17");
        QCOMPARE(label(app_->scoreWindow(), "LblATrue")->text(), u"17");
    }

    void enterOnTheFocusedCloseButtonClosesTheScoreWindow() {
        FrmPrintScore *scores = app_->showScoreWindow();
        QVERIFY(QTest::qWaitForWindowActive(scores));
        QCOMPARE(QApplication::focusWidget(), button(scores, "CmdClose"));
        pressEnter();
        QTRY_VERIFY(!app_->scoreWindow());
    }

    // The table is refreshed once the key's event has been handled, not in
    // the middle of the drill step, and nothing runs while nobody types.
    void scoreWindowRefreshesAfterTheDrillStep() {
        app_->scores().ScoreHome = 32767;
        chooseCourse(1);
        FrmPrintScore *scores = app_->showScoreWindow();
        auto *refreshTimer = control<QTimer>(scores, "Timer1");
        QVERIFY(!refreshTimer->isActive());
        form1_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form1_));
        showKanaOf(1, 1);
        type('x');  // course total 32768
        QCOMPARE(beeps_, 3);
        QVERIFY(messages_.isEmpty());
        QTRY_COMPARE(messages_.size(), 1);
        QCOMPARE(label(scores, "LblEScoreHome")->text(), u"0");
        QVERIFY(!refreshTimer->isActive());
    }

    void scoreWindowSumPastTheLimitKeepsItsFigures() {
        app_->scores().ScoreHome = 20000;
        app_->scores().EScoreHome = 12767;
        FrmPrintScore *scores = app_->showScoreWindow();
        const QStringList before = cellTexts(scores);
        QCOMPARE(before[12], u"32767");

        app_->scores().EScoreHome = 12768;  // course total 32768
        scores->refresh();
        scores->refresh();
        QCOMPARE(cellTexts(scores), before);
        QCOMPARE(messages_.size(), 1);
        QCOMPARE(app_->scores().AScoreHome, 32767);
    }

    void versionWindowOkEscapeAndCloseBox() {
        button(form1_, "CmdVersion")->click();
        FrmAbout *about = app_->aboutWindow();
        QVERIFY(about);
        action(form1_, "mnuversion")->trigger();
        QCOMPARE(app_->aboutWindow(), about);
        QVERIFY(QTest::qWaitForWindowActive(about));
        pressEscape();
        QTRY_VERIFY(!app_->aboutWindow());
        QVERIFY(form1_->isVisible());
        QCOMPARE(quits_, 0);

        about = app_->showAboutWindow();
        about->close();  // the close box
        QTRY_VERIFY(!app_->aboutWindow());
        QCOMPARE(app_->mainWindow(), form1_);
    }

    void okBringsBackAClosedMainWindowInItsWelcomeState() {
        chooseCourse(1);
        showKanaOf(1, 1);
        type('a');
        app_->showScoreWindow();
        FrmAbout *about = app_->showAboutWindow();
        form1_->close();
        QTRY_VERIFY(!app_->mainWindow());

        button(about, "cmdOK")->click();
        QTRY_VERIFY(!app_->aboutWindow());
        form1_ = app_->mainWindow();
        QVERIFY(form1_ && form1_->isVisible());
        QVERIFY(button(form1_, "cmdstart")->isEnabled());
        QVERIFY(!label(form1_, "Label1")->text().isEmpty());
        QCOMPARE(label(app_->scoreWindow(), "LblScoreHome")->text(), u"1");
    }

    // Unless the build names a home page, the link holds the help page that
    // lies beside the program, in the build tree as where it is installed.
    void linkHoldsTheHelpPageShippedWithTheProgram() {
        const QString address = label(app_->showAboutWindow(), "Text1")->text();
        if (!QStringLiteral(TAPMORA_HOME_PAGE).isEmpty()) {
            QCOMPARE(address, QStringLiteral(TAPMORA_HOME_PAGE));
            return;
        }
        const QUrl url(address);
        QVERIFY2(url.isLocalFile(), qPrintable(address));
        QFile page(url.toLocalFile());
        QVERIFY2(page.open(QIODevice::ReadOnly), qPrintable(address));
        const QString html = QString::fromUtf8(page.readAll());
        QVERIFY(html.contains(u"<html lang=\"ja\">"));
        QVERIFY(html.contains(texts::kProgramName));
    }

    // The Help menu opens the page beside the program, whose pictures lie
    // beside it too.
    void helpMenuOpensTheHelpPageWithItsPictures() {
        action(form1_, "mnuhelppage")->trigger();
        QCOMPARE(openedUrls_.size(), 1);
        const QUrl url = openedUrls_.front();
        QVERIFY2(url.isLocalFile(), qPrintable(url.toString()));
        QFile page(url.toLocalFile());
        QVERIFY2(page.open(QIODevice::ReadOnly), qPrintable(url.toString()));
        const QString html = QString::fromUtf8(page.readAll());
        const QDir folder = QFileInfo(page).dir();
        QStringList pictures;
        static const QRegularExpression source(QStringLiteral("(?:src|srcset)=\"([^\" ]+)"));
        for (const QRegularExpressionMatch &match : source.globalMatch(html))
            pictures << match.captured(1);
        QVERIFY(pictures.contains(QStringLiteral("keyboard.png")));
        for (const QString &picture : pictures)
            QVERIFY2(!QImage(folder.filePath(picture)).isNull(), qPrintable(picture));
    }

    // Every line of the version window's texts shows whole inside its box,
    // the link's underline included; the link may shorten a long address.
    void versionWindowTextsFitTheirBoxes() {
        FrmAbout *about = app_->showAboutWindow();
        for (const QLabel *text : about->findChildren<QLabel *>()) {
            if (text->text().isEmpty()) continue;
            const QByteArray name = text->objectName().toLatin1();
            const QRect box = text->contentsRect();
            QVERIFY2(text->rect().contains(box), name);
            const QFontMetricsF metrics(text->font());
            const int flags = int(text->alignment()) | (text->wordWrap() ? Qt::TextWordWrap : 0);
            const QRectF lines = metrics.boundingRect(QRectF(box), flags, text->text());
            qreal bottom = lines.bottom();
            if (text->font().underline())
                bottom += metrics.underlinePos() + metrics.lineWidth() - metrics.descent();
            QVERIFY2(qMax(lines.bottom(), bottom) <= box.y() + box.height(), name);
            if (text->wordWrap()) QVERIFY2(lines.width() <= box.width(), name);
        }
    }

    void thanksAndHomePageLink() {
        FrmAbout *about = app_->showAboutWindow();
        QVERIFY(QTest::qWaitForWindowActive(about));
        QCOMPARE(QApplication::focusWidget(), button(about, "cmdOK"));
        button(about, "Command1")->setFocus();
        pressEnter();
        QCOMPARE(messages_,
                 QStringList{QStringLiteral(
                     "Special Thanks!!: 森野　彩人様にアイコンを作成して頂きました。　Thanks!!")});
        QVERIFY(app_->aboutWindow());

        auto *link = label(about, "Text1");
        QTest::mouseClick(link, Qt::LeftButton);
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(openedUrls_, (QList<QUrl>{QUrl(link->text()), QUrl(link->text())}));

        button(about, "cmdOK")->setFocus();
        pressEnter();
        QTRY_VERIFY(!app_->aboutWindow());
    }
};

TAPMORA_TEST_MAIN(WindowsTest)
#include "windows_test.moc"
