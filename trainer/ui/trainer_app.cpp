#include "trainer/ui/trainer_app.h"

#include "trainer/ui/controls.h"
#include "trainer/ui/form1.h"
#include "trainer/ui/frm_about.h"
#include "trainer/ui/frm_keyboard.h"
#include "trainer/ui/frm_print_score.h"
#include "trainer/ui/frm_statistics.h"
#include "trainer/ui/frm_weak_practice.h"
#include "trainer/ui/keyboard_coach.h"

namespace tapmora {
namespace {

template <class Window>
Window *showWindow(QPointer<Window> &slot, TrainerApp &app) {
    if (!slot) {
        slot = new Window(app);
        slot->setAttribute(Qt::WA_DeleteOnClose);
        centreOnScreen(slot);
    }
    slot->show();
    slot->raise();
    slot->activateWindow();
    return slot;
}

}  // namespace

TrainerApp::TrainerApp(Services services)
    : services_(std::move(services)), keyboard_(std::make_unique<KeyboardCoach>()) {}

TrainerApp::~TrainerApp() {
    delete form1_;  // and with it the keyboard window
    delete scoreWindow_;
    delete aboutWindow_;
    delete statisticsWindow_;
    delete weakPracticeWindow_;
}

Form1 *TrainerApp::showMainWindow() {
    const bool opening = !form1_;
    showWindow(form1_, *this);
    if (opening) {
        keyboard_->kanaShown(0);  // a new main window shows no kana yet
        if (FrmKeyboard::wasOpenLastTime()) showKeyboardWindow();
    }
    return form1_;
}
FrmPrintScore *TrainerApp::showScoreWindow() { return showWindow(scoreWindow_, *this); }
FrmAbout *TrainerApp::showAboutWindow() { return showWindow(aboutWindow_, *this); }
FrmStatistics *TrainerApp::showStatisticsWindow() { return showWindow(statisticsWindow_, *this); }

FrmWeakPractice *TrainerApp::showWeakPractice(int course) {
    FrmWeakPractice *window = showWindow(weakPracticeWindow_, *this);
    window->practise(course);
    return window;
}

FrmKeyboard *TrainerApp::showKeyboardWindow() {
    if (!keyboardWindow_) {
        keyboardWindow_ = new FrmKeyboard(*keyboard_, form1_);
        keyboardWindow_->setAttribute(Qt::WA_DeleteOnClose);
    }
    keyboardWindow_->show();
    keyboardWindow_->raise();
    return keyboardWindow_;
}

Form1 *TrainerApp::mainWindow() const { return form1_; }
FrmPrintScore *TrainerApp::scoreWindow() const { return scoreWindow_; }
FrmAbout *TrainerApp::aboutWindow() const { return aboutWindow_; }
FrmStatistics *TrainerApp::statisticsWindow() const { return statisticsWindow_; }
FrmWeakPractice *TrainerApp::weakPracticeWindow() const { return weakPracticeWindow_; }
FrmKeyboard *TrainerApp::keyboardWindow() const { return keyboardWindow_; }

}  // namespace tapmora
