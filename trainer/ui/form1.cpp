#include "trainer/ui/form1.h"

#include <algorithm>
#include <optional>

#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

#include "trainer/history/history_store.h"
#include "trainer/ui/beeper.h"
#include "trainer/ui/controls.h"
#include "trainer/ui/frm_keyboard.h"
#include "trainer/ui/history_controls.h"
#include "trainer/ui/home_page.h"
#include "trainer/ui/key_input.h"
#include "trainer/ui/keyboard_coach.h"
#include "trainer/ui/texts.h"
#include "trainer/ui/trainer_app.h"

namespace tapmora {
namespace {

constexpr QSize kClientSize(twips(4560), twips(5700));

}  // namespace

Form1::Form1(TrainerApp &app)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint),
      app_(app) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(texts::kProgramName.toString());
    setWindowIcon(programIcon());
    auto *client = new QWidget(this);
    setCentralWidget(client);
    createControls(client);
    createMenu();
    addHistoryControls(*this, app_);
    addKeyboardMenuItem();
    addMuteMenuItem();
    resize(kClientSize.width(), kClientSize.height() + menuBar()->sizeHint().height());

    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &Form1::quit);
}

void Form1::createControls(QWidget *client) {
    addPicture(client, "Picture1", QStringLiteral("banner"), twipsRect(120, 0, 4335, 1095));
    instructionsLabel_ = addLabel(client, "Label1", texts::form1::openingInstructions(),
                                  twipsRect(120, 1200, 4335, 975));
    startButton_ =
        addButton(client, "cmdstart", texts::form1::kStart, twipsRect(1200, 5160, 1695, 495));
    auto *quitButton =
        addButton(client, "cmdend", texts::form1::kEnd, twipsRect(0, 5160, 1095, 495));
    auto *versionButton =
        addButton(client, "CmdVersion", texts::form1::kVersion, twipsRect(3000, 5160, 1575, 495));

    kanaLabel_ = addKanaBox(client, "Label2", twipsRect(1920, 1080, 735, 735));

    courseFrame_ = named(new QGroupBox(client), "Frame1");
    courseFrame_->setGeometry(twipsRect(120, 2760, 4215, 1815));
    const QRect courseButtonPlaces[kCourseCount] = {
        twipsRect(120, 240, 1815, 255),  twipsRect(120, 480, 2415, 255),
        twipsRect(120, 720, 2055, 255),  twipsRect(120, 960, 3735, 255),
        twipsRect(120, 1200, 2535, 255), twipsRect(120, 1440, 2175, 255),
    };
    static const char *const kCourseButtonNames[kCourseCount] = {"Option1", "Option2", "Option3",
                                                                 "Option4", "Option5", "Option6"};
    for (int c = 0; c < kCourseCount; ++c) {
        auto *courseButton =
            named(new QRadioButton(texts::kCourseCaptions[c].toString(), courseFrame_),
                  kCourseButtonNames[c]);
        courseButton->setGeometry(courseButtonPlaces[c]);
        // Keys must arrive as plain characters even with a kana input
        // method switched on.
        courseButton->setAttribute(Qt::WA_InputMethodEnabled, false);
        courseButton->installEventFilter(this);
        courseButtons_[c] = courseButton;
    }

    correctMark_ =
        addPicture(client, "Picture2", QStringLiteral("correct"), twipsRect(2760, 1920, 975, 375));
    wrongMark_ =
        addPicture(client, "Picture3", QStringLiteral("wrong"), twipsRect(840, 1920, 975, 375));
    wrongMarkFrame_ = addBox(client, "Label3", twipsRect(840, 1920, 975, 375));
    correctMarkFrame_ = addBox(client, "Label4", twipsRect(2760, 1920, 975, 375));
    // Each mark lies over its empty bordered box.
    correctMark_->raise();
    wrongMark_->raise();

    courseInstructionLabel_ = addLabel(client, "Label5", texts::form1::courseInstruction(),
                                       twipsRect(120, 2400, 4335, 375));
    scoreButton_ = addButton(client, "CmdPrintScore", texts::form1::kShowScores,
                             twipsRect(720, 4680, 3255, 375));

    for (QWidget *hidden : std::initializer_list<QWidget *>{
             kanaLabel_, courseFrame_, correctMark_, wrongMark_, wrongMarkFrame_, correctMarkFrame_,
             courseInstructionLabel_, scoreButton_})
        hidden->hide();

    QWidget *tabOrder[] = {startButton_,      quitButton,        versionButton,
                           courseButtons_[0], courseButtons_[1], courseButtons_[2],
                           courseButtons_[3], courseButtons_[4], courseButtons_[5],
                           scoreButton_};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(startButton_, &QPushButton::clicked, this, &Form1::start);
    connect(quitButton, &QPushButton::clicked, this, &Form1::quit);
    connect(versionButton, &QPushButton::clicked, this, [this] { app_.showAboutWindow(); });
    connect(scoreButton_, &QPushButton::clicked, this, [this] { app_.showScoreWindow(); });
}

void Form1::createMenu() {
    QMenu *fileMenu = named(menuBar()->addMenu(texts::form1::kMenuFile.toString()), "mnufile");
    startAction_ = named(fileMenu->addAction(texts::form1::kStart.toString()), "mnustart");
    named(fileMenu->addSeparator(), "mnusen");
    QAction *quitAction = named(fileMenu->addAction(texts::form1::kEnd.toString()), "mnuend");
    QMenu *helpMenu = named(menuBar()->addMenu(texts::form1::kMenuHelp.toString()), "mnuhelp");
    QAction *helpPageAction =
        named(helpMenu->addAction(texts::form1::kHelpPage.toString()), "mnuhelppage");
    helpMenu->addSeparator();
    QAction *versionAction =
        named(helpMenu->addAction(texts::form1::kVersion.toString()), "mnuversion");

    connect(startAction_, &QAction::triggered, this, &Form1::start);
    connect(quitAction, &QAction::triggered, this, &Form1::quit);
    connect(versionAction, &QAction::triggered, this, [this] { app_.showAboutWindow(); });
    connect(helpPageAction, &QAction::triggered, this,
            [this] { app_.services().openUrl(QUrl(helpPageAddress())); });
}

// Shows or hides the keyboard window from the View menu, first in it.
void Form1::addKeyboardMenuItem() {
    auto *view = findChild<QMenu *>(QStringLiteral("mnuview"));
    auto *item = named(new QAction(texts::keyboard::kMenuItem.toString(), view), "mnukeyboard");
    item->setCheckable(true);
    view->insertAction(view->actions().value(0), item);
    connect(view, &QMenu::aboutToShow, this,
            [this, item] { item->setChecked(app_.keyboardWindow()); });
    connect(item, &QAction::triggered, this, [this](bool show) {
        if (show)
            app_.showKeyboardWindow();
        else if (app_.keyboardWindow())
            app_.keyboardWindow()->close();
    });
}

// Mutes or unmutes the beeps from the end of the View menu.
void Form1::addMuteMenuItem() {
    Beeper *sound = app_.services().sound;
    if (!sound) return;
    auto *view = findChild<QMenu *>(QStringLiteral("mnuview"));
    view->addSeparator();
    QAction *item = named(view->addAction(texts::form1::kMute.toString()), "mnumute");
    item->setCheckable(true);
    item->setChecked(sound->isMuted());
    connect(item, &QAction::toggled, this, [sound](bool muted) { sound->setMuted(muted); });
}

void Form1::start() {
    instructionsLabel_->setText(QString());
    kanaLabel_->show();
    courseFrame_->show();
    startButton_->setEnabled(false);
    wrongMarkFrame_->show();
    correctMarkFrame_->show();
    courseInstructionLabel_->show();
    startAction_->setEnabled(false);
    scoreButton_->show();
    // Disabling the start button handed the focus on to the quit button;
    // the keyboard belongs to the courses now, so a second Enter reaches the
    // drill. Nothing can be selected yet, so the first course takes it.
    courseButtons_[0]->setFocus();
}

void Form1::quit() { app_.services().quit(); }

bool Form1::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::InputMethod) {
        const auto *input = static_cast<QInputMethodEvent *>(event);
        if (!input->commitString().isEmpty() || !input->preeditString().isEmpty())
            app_.keyboard().inputMethodSeen();
    }
    if (event->type() != QEvent::KeyPress) return QMainWindow::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    const auto courseButton = std::ranges::find(courseButtons_, watched);
    // While the start button is enabled, Enter belongs to it.
    const bool enterForStart = isEnter(*key) && startButton_->isEnabled();
    if (courseButton != std::end(courseButtons_) && !enterForStart) {
        const DrillKey typed = app_.keyboard().read(*key);
        if (typed.code)
            courseKeyTyped(static_cast<int>(courseButton - std::begin(courseButtons_)) + 1, typed);
    }
    // The option button still gets the key, as it would without the drill.
    return false;
}

void Form1::keyPressEvent(QKeyEvent *event) {
    if (isEnter(*event) && startButton_->isEnabled()) {
        startButton_->click();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void Form1::courseKeyTyped(int courseNumber, const DrillKey &typed) {
    judgingCourse_ = courseNumber;
    const CountResult counted =
        drillStep(course(courseNumber), *typed.code, *this, *app_.services().random);
    // The wrong mark shows only after a miss in this step.
    if (!wrongMark_->isHidden() && typed.pressed) app_.keyboard().keyMissed(*typed.pressed);
    if (counted == CountResult::AtLimit)
        app_.services().message(this, texts::kProgramName.toString(),
                                texts::form1::kCounterAtLimit.toString(), QMessageBox::Warning);
}

int Form1::selectedCourse() const {
    for (int c = 0; c < kCourseCount; ++c)
        if (courseButtons_[c]->isChecked()) return c + 1;
    return 0;
}

CountResult Form1::Seikai() {
    correctMark_->show();
    return app_.tally().count(Verdict::Correct, selectedCourse());
}

CountResult Form1::Matigai() {
    wrongMark_->show();
    return app_.tally().count(Verdict::Wrong, selectedCourse());
}

std::u16string Form1::displayedKana() const { return kanaLabel_->text().toStdU16String(); }

void Form1::showKana(char16_t kana) {
    kanaLabel_->setText(QString(QChar(kana)));
    app_.keyboard().kanaShown(kana);
}

void Form1::hideMarks() {
    correctMark_->hide();
    wrongMark_->hide();
}

void Form1::beep() { app_.services().beep(); }

void Form1::keyJudged(const CourseEntry &shown, std::int16_t keyCode, Verdict verdict) {
    if (HistoryStore *history = app_.services().history)
        history->record(
            {judgingCourse_, shown.kana, shown.keyCode, keyCode, verdict == Verdict::Correct});
}

}  // namespace tapmora
