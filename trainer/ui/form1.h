// The main window: welcome screen, then the drill screen with its six
// courses. The drill's rules live in the model; this window shows what the
// drill step asks for and counts verdicts for the selected course.
#pragma once

#include <QMainWindow>

#include "trainer/model/drill.h"

class QAction;
class QLabel;
class QPushButton;
class QRadioButton;

namespace tapmora {

class TrainerApp;
struct DrillKey;

class Form1 final : public QMainWindow, private DrillView {
    Q_OBJECT
public:
    explicit Form1(TrainerApp &app);

    // The verdict procedures: show the mark, then count one key for the
    // course whose option button is selected (none selected: count nothing).
    CountResult Seikai() override;
    CountResult Matigai() override;

    // Switches to the drill screen; the start button and menu item stay
    // disabled afterwards, so this happens once per window.
    void start();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void createControls(QWidget *client);
    void createMenu();
    void addKeyboardMenuItem();
    void addMuteMenuItem();
    void quit();
    void courseKeyTyped(int courseNumber, const DrillKey &typed);
    int selectedCourse() const;

    std::u16string displayedKana() const override;
    void showKana(char16_t kana) override;
    void hideMarks() override;
    void beep() override;
    // Records the key in the history under the course whose table judged it.
    void keyJudged(const CourseEntry &shown, std::int16_t keyCode, Verdict verdict) override;

    TrainerApp &app_;
    int judgingCourse_ = 0;
    QLabel *instructionsLabel_ = nullptr;             // Label1
    QPushButton *startButton_ = nullptr;              // cmdstart
    QLabel *kanaLabel_ = nullptr;                     // Label2
    QWidget *courseFrame_ = nullptr;                  // Frame1
    QRadioButton *courseButtons_[kCourseCount] = {};  // Option1 to Option6
    QLabel *correctMark_ = nullptr;                   // Picture2
    QLabel *wrongMark_ = nullptr;                     // Picture3
    QLabel *wrongMarkFrame_ = nullptr;                // Label3
    QLabel *correctMarkFrame_ = nullptr;              // Label4
    QLabel *courseInstructionLabel_ = nullptr;        // Label5
    QPushButton *scoreButton_ = nullptr;              // CmdPrintScore
    QAction *startAction_ = nullptr;                  // mnustart
};

}  // namespace tapmora
