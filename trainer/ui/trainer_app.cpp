#include "trainer/ui/trainer_app.h"

#include "trainer/ui/controls.h"
#include "trainer/ui/form1.h"
#include "trainer/ui/frm_about.h"
#include "trainer/ui/frm_print_score.h"
#include "trainer/ui/frm_statistics.h"
#include "trainer/ui/frm_weak_practice.h"

namespace tapmora {
namespace {

template <class Window>
Window* showWindow(QPointer<Window>& slot, TrainerApp& app) {
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

TrainerApp::TrainerApp(Services services) : services_(std::move(services)) {}

TrainerApp::~TrainerApp() {
    delete form1_;
    delete scoreWindow_;
    delete aboutWindow_;
    delete statisticsWindow_;
    delete weakPracticeWindow_;
}

Form1* TrainerApp::showMainWindow() { return showWindow(form1_, *this); }
FrmPrintScore* TrainerApp::showScoreWindow() { return showWindow(scoreWindow_, *this); }
FrmAbout* TrainerApp::showAboutWindow() { return showWindow(aboutWindow_, *this); }
FrmStatistics* TrainerApp::showStatisticsWindow() { return showWindow(statisticsWindow_, *this); }

FrmWeakPractice* TrainerApp::showWeakPractice(int course) {
    FrmWeakPractice* window = showWindow(weakPracticeWindow_, *this);
    window->practise(course);
    return window;
}

Form1* TrainerApp::mainWindow() const { return form1_; }
FrmPrintScore* TrainerApp::scoreWindow() const { return scoreWindow_; }
FrmAbout* TrainerApp::aboutWindow() const { return aboutWindow_; }
FrmStatistics* TrainerApp::statisticsWindow() const { return statisticsWindow_; }
FrmWeakPractice* TrainerApp::weakPracticeWindow() const { return weakPracticeWindow_; }

}  // namespace tapmora
