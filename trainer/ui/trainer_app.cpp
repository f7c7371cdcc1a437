#include "trainer/ui/trainer_app.h"

#include "trainer/ui/controls.h"
#include "trainer/ui/form1.h"
#include "trainer/ui/frm_about.h"
#include "trainer/ui/frm_print_score.h"

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
}

Form1* TrainerApp::showMainWindow() { return showWindow(form1_, *this); }
FrmPrintScore* TrainerApp::showScoreWindow() { return showWindow(scoreWindow_, *this); }
FrmAbout* TrainerApp::showAboutWindow() { return showWindow(aboutWindow_, *this); }

Form1* TrainerApp::mainWindow() const { return form1_; }
FrmPrintScore* TrainerApp::scoreWindow() const { return scoreWindow_; }
FrmAbout* TrainerApp::aboutWindow() const { return aboutWindow_; }

}  // namespace tapmora
