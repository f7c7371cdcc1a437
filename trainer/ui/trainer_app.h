// The program's windows and its score record. Each window is created on
// first use, shown modeless without an owner and destroyed when closed.
#pragma once

#include <memory>

#include <QPointer>

#include "trainer/model/score.h"
#include "trainer/ui/services.h"

namespace tapmora {

class Form1;
class FrmPrintScore;
class FrmAbout;
class FrmKeyboard;
class FrmStatistics;
class FrmWeakPractice;
class KeyboardCoach;

class TrainerApp {
public:
    explicit TrainerApp(Services services);
    ~TrainerApp();
    TrainerApp(const TrainerApp &) = delete;
    TrainerApp &operator=(const TrainerApp &) = delete;

    // Each shows its window, creating it first when it is not open, and
    // brings it to the front.
    Form1 *showMainWindow();
    FrmPrintScore *showScoreWindow();
    FrmAbout *showAboutWindow();
    FrmStatistics *showStatisticsWindow();
    // Starts the weak-kana practice of `course` (1..6).
    FrmWeakPractice *showWeakPractice(int course);

    // The keyboard window accompanies the main window, which must be open;
    // it is placed beside it the first time and reopens with it when it
    // was open at the end of the last run.
    FrmKeyboard *showKeyboardWindow();

    // The open windows; null when closed.
    Form1 *mainWindow() const;
    FrmPrintScore *scoreWindow() const;
    FrmAbout *aboutWindow() const;
    FrmStatistics *statisticsWindow() const;
    FrmWeakPractice *weakPracticeWindow() const;
    FrmKeyboard *keyboardWindow() const;

    ScoreTally &tally() { return tally_; }
    ScoreModule &scores() { return tally_.record(); }
    // What the keyboard window shows, fed by the drills.
    KeyboardCoach &keyboard() { return *keyboard_; }
    Services &services() { return services_; }

private:
    Services services_;
    ScoreTally tally_;
    std::unique_ptr<KeyboardCoach> keyboard_;
    QPointer<Form1> form1_;
    QPointer<FrmPrintScore> scoreWindow_;
    QPointer<FrmAbout> aboutWindow_;
    QPointer<FrmStatistics> statisticsWindow_;
    QPointer<FrmWeakPractice> weakPracticeWindow_;
    QPointer<FrmKeyboard> keyboardWindow_;
};

}  // namespace tapmora
