// Renders the trainer's windows to PNG files for review: the main window in
// its welcome and drill states, the score window, the version window, and
// the keyboard window idle, showing the next key and showing a miss, and
// the statistics window (with its heat map in either measure) and the
// practice window after a scripted history.
// With --help-pictures it writes only the help page's pictures (the
// keyboard window idle and with a miss, the heat map), named for the
// screen's scale: keyboard.png, or keyboard@2x.png at twice the scale.
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
void typeScriptedHistory(tapmora::HistoryStore &history, std::int64_t &now) {
    std::mt19937 generator(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const int courses[] = {1, 1, 2, 1, 2, 3, 4, 5, 6, 6};
    for (int session = 0; session < 30; ++session) {
        const int number = courses[session % std::size(courses)];
        const tapmora::Course &course = tapmora::course(number);
        const double progress = session / 29.0;
        for (int key = 0; key < 60; ++key) {
            now +=
                static_cast<std::int64_t>((1400 - 800 * progress) * (0.7 + 0.6 * unit(generator)));
            const auto at = static_cast<std::size_t>(unit(generator) *
                                                     static_cast<double>(course.entries.size()));
            const tapmora::CourseEntry &entry = course.entries[at];
            const bool wrong = unit(generator) < 0.18 - 0.13 * progress;
            const tapmora::CourseEntry &neighbour =
                course.entries[at + 1 < course.entries.size() ? at + 1 : at - 1];
            const std::int16_t pressed = wrong ? neighbour.keyCode : entry.keyCode;
            history.record({number, entry.kana, entry.keyCode, pressed, !wrong});
        }
        history.endSession();
        now += 16 * 3'600'000;
    }
    history.flush();
}

// Saves the review set, or the help page's pictures alone.
class Pictures {
public:
    Pictures(QDir folder, bool forHelp) : folder_(std::move(folder)), forHelp_(forHelp) {}

    // Saves `widget` as `reviewName`, and under `helpName` among the help
    // page's pictures when it has one.
    void save(QWidget *widget, const char *reviewName, const char *helpName = nullptr) {
        if (forHelp_ && !helpName) return;
        QApplication::processEvents();
        const QString name = QString::fromLatin1(forHelp_ ? helpName : reviewName) +
                             (forHelp_ && widget->devicePixelRatio() > 1 ? "@2x" : "");
        const QString file = folder_.filePath(name + ".png");
        if (!widget->grab().save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            saved_ = false;
        }
    }
    bool allSaved() const { return saved_; }

private:
    QDir folder_;
    bool forHelp_;
    bool saved_ = true;
};

}  // namespace

int main(int argc, char **argv) {
    useScratchSettings();  // the keyboard window at its first-run place and size
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments().mid(1);
    const bool forHelp = arguments.value(0) == QStringLiteral("--help-pictures");
    if (arguments.size() != (forHelp ? 2 : 1)) {
        std::fprintf(stderr, "usage: %s [--help-pictures] OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(arguments.back());
    folder.mkpath(".");
    Pictures pictures(folder, forHelp);
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

    tapmora::Form1 *form1 = trainer.showMainWindow();
    pictures.save(form1, "form1_welcome");
    // At the size it takes beside the main window on a common screen; the
    // offscreen screen is too small for that.
    tapmora::FrmKeyboard *keyboard = trainer.showKeyboardWindow();
    keyboard->resize(keyboard->sizeHint());
    pictures.save(keyboard, "frm_keyboard_idle", "keyboard");

    form1->start();
    auto *homeRowButton = form1->findChild<QRadioButton *>("Option1");
    QTest::mouseClick(homeRowButton, Qt::LeftButton);
    QTest::keyClick(homeRowButton, Qt::Key_Return);  // shows ち
    QTest::keyClick(homeRowButton, 'a');             // correct
    QTest::keyClick(homeRowButton, 'x');             // wrong
    QTest::keyClick(homeRowButton, 'a');             // correct
    pictures.save(form1, "form1_drill");
    pictures.save(trainer.showScoreWindow(), "frm_print_score");
    pictures.save(trainer.showAboutWindow(), "frm_about");

    auto *shiftedButton = form1->findChild<QRadioButton *>("Option5");
    QTest::mouseClick(shiftedButton, Qt::LeftButton);
    QTest::keyClick(shiftedButton, Qt::Key_Return);  // shows ぁ: 3 with Shift
    pictures.save(keyboard, "frm_keyboard_target");
    QTest::keyClick(shiftedButton, 'x');  // さ instead
    pictures.save(keyboard, "frm_keyboard_miss", "keyboard-miss");
    tapmora::FrmStatistics *statistics = trainer.showStatisticsWindow();
    pictures.save(statistics, "frm_statistics");
    pictures.save(statistics->findChild<QWidget *>("fraHeatMap"), "frm_statistics_heat_map",
                  "heat-map");
    statistics->findChild<QRadioButton *>("optHeatSpeed")->click();
    pictures.save(statistics, "frm_statistics_speed");
    tapmora::FrmWeakPractice *practice = trainer.showWeakPractice(1);
    QTest::keyClick(practice, Qt::Key_Return);
    QTest::keyClick(practice, 'x');  // wrong whatever the kana
    pictures.save(practice, "frm_weak_practice");

    // A history that refuses writing marks the main window's menu bar.
    QSqlQuery(history.database()).exec(QStringLiteral("PRAGMA query_only = 1"));
    history.record({1, u'ち', 97, 97, true});
    history.flush();
    pictures.save(form1, "form1_history_problem");
    return pictures.allSaved() ? 0 : 1;
}
