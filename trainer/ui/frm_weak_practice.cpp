#include "trainer/ui/frm_weak_practice.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "trainer/history/history_store.h"
#include "trainer/history/statistics.h"
#include "trainer/ui/controls.h"
#include "trainer/ui/keyboard_coach.h"
#include "trainer/ui/statistics_report.h"
#include "trainer/ui/texts.h"
#include "trainer/ui/trainer_app.h"

namespace tapmora {
namespace {

// The kana box and the marks sit as on the main window's drill screen.
constexpr QSize kClientSize(304, 236);
constexpr QRect kCoursePlace(8, 8, 288, 20);
constexpr QRect kKanaPlace(127, 36, 49, 49);
constexpr QRect kWrongPlace(56, 96, 65, 25);
constexpr QRect kCorrectPlace(184, 96, 65, 25);
constexpr QRect kInstructionPlace(8, 132, 288, 52);
constexpr QRect kClosePlace(104, 196, 96, 30);

std::vector<KanaHistory> knownKana(HistoryStore *history) {
    if (!history) return {};
    const auto statistics = history::readStatistics(history->database());
    return statistics ? history::kanaHistory(*statistics) : std::vector<KanaHistory>{};
}

}  // namespace

FrmWeakPractice::FrmWeakPractice(TrainerApp &app) : QWidget(nullptr, Qt::Window), app_(app) {
    setObjectName(QStringLiteral("FrmWeakPractice"));
    setWindowTitle(texts::practice::kCaption.toString());
    setWindowIcon(programIcon());
    setFixedSize(kClientSize);
    // Keys arrive as plain characters even with a kana input method on.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setFocusPolicy(Qt::StrongFocus);

    courseLabel_ = addLabel(this, "lblPracticeCourse", QString(), kCoursePlace);
    kanaLabel_ = addKanaBox(this, "lblKana", kKanaPlace);

    addBox(this, "lblWrongFrame", kWrongPlace);
    addBox(this, "lblCorrectFrame", kCorrectPlace);
    wrongMark_ = addPicture(this, "picWrong", QStringLiteral("wrong"), kWrongPlace);
    correctMark_ = addPicture(this, "picCorrect", QStringLiteral("correct"), kCorrectPlace);
    hideMarks();

    addLabel(this, "lblPracticeInstruction", texts::practice::kInstruction.toString(),
             kInstructionPlace);
    auto *close = addButton(this, "cmdClose", texts::practice::kClose, kClosePlace);
    // The window keeps the focus, so every key reaches the drill.
    close->setFocusPolicy(Qt::NoFocus);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
}

void FrmWeakPractice::practise(int course) {
    course_ = course;
    const std::vector<KanaHistory> known = knownKana(app_.services().history);
    draw_ = std::make_unique<WeakKanaDraw>(tapmora::course(course), known);
    courseLabel_->setText(texts::practice::kCourse.toString().arg(report::courseName(course)));
    kanaLabel_->clear();
    hideMarks();
    setFocus();
}

void FrmWeakPractice::keyPressEvent(QKeyEvent *event) {
    const DrillKey typed = app_.keyboard().read(*event);
    if (!typed.code || !draw_) {
        QWidget::keyPressEvent(event);
        return;
    }
    drillStep(course(course_), *typed.code, *this, *app_.services().random, *draw_);
    // The wrong mark shows only after a miss in this step.
    if (!wrongMark_->isHidden() && typed.pressed) app_.keyboard().keyMissed(*typed.pressed);
}

std::u16string FrmWeakPractice::displayedKana() const {
    return kanaLabel_->text().toStdU16String();
}

void FrmWeakPractice::showKana(char16_t kana) {
    kanaLabel_->setText(QString(QChar(kana)));
    app_.keyboard().kanaShown(kana);
}

void FrmWeakPractice::hideMarks() {
    correctMark_->hide();
    wrongMark_->hide();
}

void FrmWeakPractice::beep() { app_.services().beep(); }

// The practice shows its verdicts but leaves the score table to the courses.
CountResult FrmWeakPractice::Seikai() {
    correctMark_->show();
    return CountResult::Counted;
}

CountResult FrmWeakPractice::Matigai() {
    wrongMark_->show();
    return CountResult::Counted;
}

void FrmWeakPractice::keyJudged(const CourseEntry &shown, std::int16_t keyCode, Verdict verdict) {
    if (HistoryStore *history = app_.services().history)
        history->record({kWeakKanaPracticeCourse, shown.kana, shown.keyCode, keyCode,
                         verdict == Verdict::Correct});
}

}  // namespace tapmora
