// Renders the trainer's windows to PNG files for review: the main window in
// its welcome and drill states, the score window, the version window, and
// the keyboard window idle, showing the next key and showing a miss, and
// the statistics and practice windows after a scripted history.
#include <cstdio>
#include <random>

#include <QApplication>
#include <QDir>
#include <QRadioButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include "trainer/history/history_store.h"
#include "trainer/tests/scratch_settings.h"
#include "trainer/ui/controls.h"
#include "trainer/ui/form1.h"
#include "trainer/ui/frm_about.h"
#include "trainer/ui/frm_keyboard.h"
#include "trainer/ui/frm_print_score.h"
#include "trainer/ui/frm_statistics.h"
#include "trainer/ui/frm_weak_practice.h"
#include "trainer/ui/trainer_app.h"

namespace {

// Draws the home row's first kana, then keeps drawing the same, so the
// drill screenshot is the same on every run.
class FixedRandom final : public tapmora::RandomSource {
public:
    void reseedFromTimeOfDay() override {}
    float nextUnit() override { return 0.0f; }
};

// Three weeks of a learner getting faster and surer: thirty sessions of
// sixty keys, misses landing on the neighbouring key of the same row.
void typeScriptedHistory(tapmora::HistoryStore& history, std::int64_t& now) {
    std::mt19937 generator(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const int courses[] = {1, 1, 2, 1, 2, 3, 4, 5, 6, 6};
    for (int session = 0; session < 30; ++session) {
        const int number = courses[session % std::size(courses)];
        const tapmora::Course& course = tapmora::course(number);
        const double progress = session / 29.0;
        for (int key = 0; key < 60; ++key) {
            now += static_cast<std::int64_t>((1400 - 800 * progress) * (0.7 + 0.6 * unit(generator)));
            const auto at = static_cast<std::size_t>(unit(generator) * static_cast<double>(course.entries.size()));
            const tapmora::CourseEntry& entry = course.entries[at];
            const bool wrong = unit(generator) < 0.18 - 0.13 * progress;
            const tapmora::CourseEntry& neighbour =
                course.entries[at + 1 < course.entries.size() ? at + 1 : at - 1];
            const std::int16_t pressed = wrong ? neighbour.keyCode : entry.keyCode;
            history.record({number, entry.kana, entry.keyCode, pressed, !wrong});
        }
        history.endSession();
        now += 16 * 3'600'000;
    }
    history.flush();
}

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
    QTemporaryDir historyFolder;
    std::int64_t now = QDateTime::currentMSecsSinceEpoch() - 21LL * 24 * 3'600'000;
    tapmora::HistoryStore history(historyFolder.filePath(QStringLiteral("history.sqlite")),
                                  {[&] { return now; }, [&] { return now; }});
    typeScriptedHistory(history, now);
    services.history = &history;
    tapmora::TrainerApp trainer(services);

    tapmora::Form1* form1 = trainer.showMainWindow();
    bool saved = save(form1, folder, "form1_welcome");
    // At the size it takes beside the main window on a common screen; the
    // offscreen screen is too small for that.
    tapmora::FrmKeyboard* keyboard = trainer.showKeyboardWindow();
    keyboard->resize(keyboard->sizeHint());
    saved = save(keyboard, folder, "frm_keyboard_idle") && saved;

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

    auto* shiftedButton = form1->findChild<QRadioButton*>("Option5");
    QTest::mouseClick(shiftedButton, Qt::LeftButton);
    QTest::keyClick(shiftedButton, Qt::Key_Return);  // shows ぁ: 3 with Shift
    saved = save(keyboard, folder, "frm_keyboard_target") && saved;
    QTest::keyClick(shiftedButton, 'x');  // さ instead
    saved = save(keyboard, folder, "frm_keyboard_miss") && saved;
    saved = save(trainer.showStatisticsWindow(), folder, "frm_statistics") && saved;
    tapmora::FrmWeakPractice* practice = trainer.showWeakPractice(1);
    QTest::keyClick(practice, Qt::Key_Return);
    QTest::keyClick(practice, 'x');  // wrong whatever the kana
    saved = save(practice, folder, "frm_weak_practice") && saved;

    // A history that refuses writing marks the main window's menu bar.
    QSqlQuery(history.database()).exec(QStringLiteral("PRAGMA query_only = 1"));
    history.record({1, u'ち', 97, 97, true});
    history.flush();
    saved = save(form1, folder, "form1_history_problem") && saved;
    return saved ? 0 : 1;
}
