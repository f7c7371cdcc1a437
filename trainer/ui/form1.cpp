#include "trainer/ui/form1.h"

#include <algorithm>
#include <optional>

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

#include "trainer/history/history_store.h"
#include "trainer/ui/controls.h"
#include "trainer/ui/history_controls.h"
#include "trainer/ui/key_input.h"
#include "trainer/ui/texts.h"
#include "trainer/ui/trainer_app.h"

namespace tapmora {
namespace {

constexpr QSize kClientSize(twips(4560), twips(5700));

}  // namespace

Form1::Form1(TrainerApp& app)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint),
      app_(app) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(texts::kProgramName.toString());
    setWindowIcon(programIcon());
    auto* client = new QWidget(this);
    setCentralWidget(client);
    createControls(client);
    createMenu();
    addHistoryControls(*this, app_);
    resize(kClientSize.width(), kClientSize.height() + menuBar()->sizeHint().height());

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &Form1::quit);
}

void Form1::createControls(QWidget* client) {
    addPicture(client, "Picture1", QStringLiteral("banner"),
                           twipsRect(120, 0, 4335, 1095));
    label1_ = addLabel(client, "Label1", texts::form1::openingInstructions(),
                       twipsRect(120, 1200, 4335, 975));
    cmdstart_ = addButton(client, "cmdstart", texts::form1::kStart,
                          twipsRect(1200, 5160, 1695, 495));
    auto* cmdend = addButton(client, "cmdend", texts::form1::kEnd, twipsRect(0, 5160, 1095, 495));
    auto* cmdVersion = addButton(client, "CmdVersion", texts::form1::kVersion,
                            twipsRect(3000, 5160, 1575, 495));

    label2_ = addKanaBox(client, "Label2", twipsRect(1920, 1080, 735, 735));

    frame1_ = named(new QGroupBox(client), "Frame1");
    frame1_->setGeometry(twipsRect(120, 2760, 4215, 1815));
    const QRect optionPlaces[kCourseCount] = {
        twipsRect(120, 240, 1815, 255), twipsRect(120, 480, 2415, 255),
        twipsRect(120, 720, 2055, 255), twipsRect(120, 960, 3735, 255),
        twipsRect(120, 1200, 2535, 255), twipsRect(120, 1440, 2175, 255),
    };
    static const char* const kOptionNames[kCourseCount] = {"Option1", "Option2", "Option3",
                                                           "Option4", "Option5", "Option6"};
    for (int c = 0; c < kCourseCount; ++c) {
        auto* option = named(new QRadioButton(texts::kCourseCaptions[c].toString(), frame1_),
                             kOptionNames[c]);
        option->setGeometry(optionPlaces[c]);
        // Keys must arrive as plain characters even with a kana input
        // method switched on.
        option->setAttribute(Qt::WA_InputMethodEnabled, false);
        option->installEventFilter(this);
        options_[c] = option;
    }

    picture2_ = addPicture(client, "Picture2", QStringLiteral("correct"),
                           twipsRect(2760, 1920, 975, 375));
    picture3_ = addPicture(client, "Picture3", QStringLiteral("wrong"),
                           twipsRect(840, 1920, 975, 375));
    label3_ = addBox(client, "Label3", twipsRect(840, 1920, 975, 375));
    label4_ = addBox(client, "Label4", twipsRect(2760, 1920, 975, 375));
    // Each mark lies over its empty bordered box.
    picture2_->raise();
    picture3_->raise();

    label5_ = addLabel(client, "Label5", texts::form1::courseInstruction(),
                       twipsRect(120, 2400, 4335, 375));
    cmdPrintScore_ = addButton(client, "CmdPrintScore", texts::form1::kShowScores,
                               twipsRect(720, 4680, 3255, 375));

    for (QWidget* hidden : std::initializer_list<QWidget*>{
             label2_, frame1_, picture2_, picture3_, label3_, label4_, label5_, cmdPrintScore_})
        hidden->hide();

    QWidget* tabOrder[] = {cmdstart_,   cmdend,      cmdVersion,  options_[0], options_[1],
                           options_[2], options_[3], options_[4], options_[5], cmdPrintScore_};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(cmdstart_, &QPushButton::clicked, this, &Form1::start);
    connect(cmdend, &QPushButton::clicked, this, &Form1::quit);
    connect(cmdVersion, &QPushButton::clicked, this, [this] { app_.showAboutWindow(); });
    connect(cmdPrintScore_, &QPushButton::clicked, this, [this] { app_.showScoreWindow(); });
}

void Form1::createMenu() {
    QMenu* file = named(menuBar()->addMenu(texts::form1::kMenuFile.toString()), "mnufile");
    mnustart_ = named(file->addAction(texts::form1::kStart.toString()), "mnustart");
    named(file->addSeparator(), "mnusen");
    QAction* mnuend = named(file->addAction(texts::form1::kEnd.toString()), "mnuend");
    QMenu* help = named(menuBar()->addMenu(texts::form1::kMenuHelp.toString()), "mnuhelp");
    QAction* mnuversion =
        named(help->addAction(texts::form1::kVersion.toString()), "mnuversion");

    connect(mnustart_, &QAction::triggered, this, &Form1::start);
    connect(mnuend, &QAction::triggered, this, &Form1::quit);
    connect(mnuversion, &QAction::triggered, this, [this] { app_.showAboutWindow(); });
}

void Form1::start() {
    label1_->setText(QString());
    label2_->show();
    frame1_->show();
    cmdstart_->setEnabled(false);
    label3_->show();
    label4_->show();
    label5_->show();
    mnustart_->setEnabled(false);
    cmdPrintScore_->show();
    // Disabling the start button handed the focus on to the quit button;
    // the keyboard belongs to the courses now, so a second Enter reaches the
    // drill. Nothing can be selected yet, so the first course takes it.
    options_[0]->setFocus();
}

void Form1::quit() { app_.services().quit(); }

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QMainWindow::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const auto option = std::ranges::find(options_, watched);
    // While the start button is enabled, Enter belongs to it.
    const bool enterForStart = isEnter(*key) && cmdstart_->isEnabled();
    if (option != std::end(options_) && !enterForStart)
        if (const auto code = characterCode(*key))
            courseKeyTyped(static_cast<int>(option - std::begin(options_)) + 1, *code);
    // The option button still gets the key, as it would without the drill.
    return false;
}

void Form1::keyPressEvent(QKeyEvent* event) {
    if (isEnter(*event) && cmdstart_->isEnabled()) {
        cmdstart_->click();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void Form1::courseKeyTyped(int courseNumber, std::int16_t keyCode) {
    judgingCourse_ = courseNumber;
    if (drillStep(course(courseNumber), keyCode, *this, *app_.services().random) ==
        CountResult::AtLimit)
        app_.services().message(this, texts::kProgramName.toString(),
                                texts::form1::kCounterAtLimit.toString(), QMessageBox::Warning);
}

int Form1::selectedCourse() const {
    for (int c = 0; c < kCourseCount; ++c)
        if (options_[c]->isChecked())
            return c + 1;
    return 0;
}

CountResult Form1::Seikai() {
    picture2_->show();
    return countVerdict(app_.scores(), Verdict::Correct, selectedCourse());
}

CountResult Form1::Matigai() {
    picture3_->show();
    return countVerdict(app_.scores(), Verdict::Wrong, selectedCourse());
}

std::u16string Form1::displayedKana() const { return label2_->text().toStdU16String(); }

void Form1::showKana(char16_t kana) { label2_->setText(QString(QChar(kana))); }

void Form1::hideMarks() {
    picture2_->hide();
    picture3_->hide();
}

void Form1::beep() { app_.services().beep(); }

void Form1::keyJudged(const CourseEntry& shown, std::int16_t keyCode, Verdict verdict) {
    if (HistoryStore* history = app_.services().history)
        history->record({judgingCourse_, shown.kana, shown.keyCode, keyCode,
                         verdict == Verdict::Correct});
}

}  // namespace tapmora
