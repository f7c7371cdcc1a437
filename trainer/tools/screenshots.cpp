// Renders the trainer's windows to PNG files for review: the main window in
// its welcome and drill states, the score window, the version window, and
// the keyboard window idle, showing the next key and showing a miss.
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QRadioButton>
#include <QTest>

#include "trainer/tests/scratch_settings.h"
#include "trainer/ui/controls.h"
#include "trainer/ui/form1.h"
#include "trainer/ui/frm_about.h"
#include "trainer/ui/frm_keyboard.h"
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
    useScratchSettings();  // the keyboard window at its first-run place and size
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
    // At the size it takes beside the main window on a common screen; the
    // offscreen screen is too small for that.
    tapmora::FrmKeyboard* keyboard = trainer.showKeyboardWindow();
    keyboard->resize(keyboard->sizeHint());
    saved = save(keyboard, folder, "frm_keyboard_idle") && saved;

    form1->start();
    auto* option1 = form1->findChild<QRadioButton*>("Option1");
    QTest::mouseClick(option1, Qt::LeftButton);
    QTest::keyClick(option1, Qt::Key_Return);  // shows ち
    QTest::keyClick(option1, 'a');             // correct
    QTest::keyClick(option1, 'x');             // wrong
    QTest::keyClick(option1, 'a');             // correct
    saved = save(form1, folder, "form1_drill") && saved;
    saved = save(trainer.showScoreWindow(), folder, "frm_print_score") && saved;
    saved = save(trainer.showAboutWindow(), folder, "frm_about") && saved;

    auto* option5 = form1->findChild<QRadioButton*>("Option5");
    QTest::mouseClick(option5, Qt::LeftButton);
    QTest::keyClick(option5, Qt::Key_Return);  // shows ぁ: 3 with Shift
    saved = save(keyboard, folder, "frm_keyboard_target") && saved;
    QTest::keyClick(option5, 'x');  // さ instead
    saved = save(keyboard, folder, "frm_keyboard_miss") && saved;
    return saved ? 0 : 1;
}
