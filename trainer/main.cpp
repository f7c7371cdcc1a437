// Tapmora: a kana typing trainer. Opens the main window; the program ends
// when its last window closes or the learner quits. Judged keys go to the
// learner's history file, the last of them written on the way out. Beeps
// sound through the sound system, or the bell without one.
#include <QApplication>

#include "trainer/history/history_store.h"
#include "trainer/model/random.h"
#include "trainer/ui/beeper.h"
#include "trainer/ui/controls.h"
#include "trainer/ui/trainer_app.h"

int main(int argc, char **argv) {
    QApplication application(argc, argv);
    // Settings live in ~/.config/tapmora/tapmora.conf.
    QCoreApplication::setOrganizationName(QStringLiteral("tapmora"));
    QCoreApplication::setApplicationName(QStringLiteral("tapmora"));
    tapmora::installFonts();
    tapmora::TimeOfDayRandom random;
    tapmora::HistoryStore history(tapmora::HistoryStore::defaultPath());
    tapmora::Services services = tapmora::desktopServices(random);
    services.history = &history;
    tapmora::Beeper sound(tapmora::desktopBeepOutputs());
    services.beep = [&sound] { sound.beep(); };
    services.sound = &sound;
    tapmora::TrainerApp trainer(services);
    trainer.showMainWindow();
    return application.exec();
}
