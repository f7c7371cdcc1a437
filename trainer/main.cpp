// Tapmora: a kana typing trainer. Opens the main window; the program ends
// when its last window closes or the learner quits.
#include <QApplication>

#include "trainer/model/random.h"
#include "trainer/ui/controls.h"
#include "trainer/ui/trainer_app.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // Settings live in ~/.config/tapmora/tapmora.conf.
    QCoreApplication::setOrganizationName(QStringLiteral("tapmora"));
    QCoreApplication::setApplicationName(QStringLiteral("tapmora"));
    tapmora::installFonts();
    tapmora::TimeOfDayRandom random;
    tapmora::TrainerApp trainer(tapmora::desktopServices(random));
    trainer.showMainWindow();
    return application.exec();
}
