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
class KeyboardCoach;

class TrainerApp {
public:
    explicit TrainerApp(Services services);
    ~TrainerApp();
    TrainerApp(const TrainerApp&) = delete;
    TrainerApp& operator=(const TrainerApp&) = delete;

    // Each shows its window, creating it first when it is not open, and
    // brings it to the front.
    Form1* showMainWindow();
    FrmPrintScore* showScoreWindow();
    FrmAbout* showAboutWindow();

    // The keyboard window accompanies the main window, which must be open;
    // it is placed beside it the first time and reopens with it when it
    // was open at the end of the last run.
    FrmKeyboard* showKeyboardWindow();

    // The open windows; null when closed.
    Form1* mainWindow() const;
    FrmPrintScore* scoreWindow() const;
    FrmAbout* aboutWindow() const;
    FrmKeyboard* keyboardWindow() const;

    ScoreModule& scores() { return scores_; }
    // What the keyboard window shows, fed by the main window's drill.
    KeyboardCoach& keyboard() { return *keyboard_; }
    Services& services() { return services_; }

private:
    Services services_;
    ScoreModule scores_;
    std::unique_ptr<KeyboardCoach> keyboard_;
    QPointer<Form1> form1_;
    QPointer<FrmPrintScore> scoreWindow_;
    QPointer<FrmAbout> aboutWindow_;
    QPointer<FrmKeyboard> keyboardWindow_;
};

}  // namespace tapmora
