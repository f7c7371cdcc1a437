// Renders the trainer's windows to PNG files for review: the main window in
// its welcome and drill states, the score window and the version window.
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QRadioButton>
#include <QTest>

#include "trainer/ui/controls.h"
#include "trainer/ui/form1.h"
#include "trainer/ui/frm_about.h"
#include "trainer/ui/frm_print_score.h"
#include "trainer/ui/trainer_app.h"

namespace {

// Draws the home row's first kana, then keeps drawing the same, so the
// drill screenshot is the same on every run.
class FixedRandom final : public tapmora::RandomSource {
public:
    void reseedFromTimeOfDay() override {}
    float nextUnit() override { return 0.0f; }
};

bool save(QWidget* window, const QDir& folder, const QString& name) {
    QApplication::processEvents();
    const QString file = folder.filePath(name + ".png");
    if (window->grab().save(file))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    folder.mkpath(".");
    tapmora::installFonts();
    FixedRandom random;
    tapmora::Services services = tapmora::desktopServices(random);
    services.beep = [] {};
    tapmora::TrainerApp trainer(services);

    tapmora::Form1* form1 = trainer.showMainWindow();
    bool saved = save(form1, folder, "form1_welcome");

    form1->start();
    auto* homeRowButton = form1->findChild<QRadioButton*>("Option1");
    QTest::mouseClick(homeRowButton, Qt::LeftButton);
    QTest::keyClick(homeRowButton, Qt::Key_Return);  // shows ち
    QTest::keyClick(homeRowButton, 'a');             // correct
    QTest::keyClick(homeRowButton, 'x');             // wrong
    QTest::keyClick(homeRowButton, 'a');             // correct
    saved = save(form1, folder, "form1_drill") && saved;
    saved = save(trainer.showScoreWindow(), folder, "frm_print_score") && saved;
    saved = save(trainer.showAboutWindow(), folder, "frm_about") && saved;
    return saved ? 0 : 1;
}
