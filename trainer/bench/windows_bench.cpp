// What the open windows cost while nobody types: one refresh of the score
// window, and the share of a core the whole trainer uses with every window
// open (main, keyboard, score, version and statistics); the windows repaint
// only on change, so idle they should add nothing. And the latency from a
// drill key to the keyboard window's paint of the next key.
#include <ctime>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <benchmark/benchmark.h>

#include "trainer/bench/offscreen_main.h"
#include "trainer/tests/scratch_settings.h"
#include "trainer/tests/scripted_random.h"
#include "trainer/ui/controls.h"
#include "trainer/ui/form1.h"
#include "trainer/ui/frm_keyboard.h"
#include "trainer/ui/frm_print_score.h"
#include "trainer/ui/frm_statistics.h"
#include "trainer/ui/jis_keyboard_view.h"
#include "trainer/ui/trainer_app.h"

namespace {

// The drill's draws are scripted, so the latency benchmark knows which kana
// comes next.
ScriptedRandom &draws() {
    static ScriptedRandom random;
    return random;
}

tapmora::TrainerApp &trainer() {
    static tapmora::TrainerApp app([] {
        tapmora::Services services = tapmora::desktopServices(draws());
        services.beep = [] {};
        return services;
    }());
    return app;
}

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void BM_ScoreRefreshUnchanged(benchmark::State &state) {
    tapmora::FrmPrintScore *window = trainer().showScoreWindow();
    for (auto _ : state) window->refresh();
}
BENCHMARK(BM_ScoreRefreshUnchanged);

// Runs the event loop for one second with every window open and reports
// the process's CPU time as a share of that second.
void BM_IdleWithEveryWindowOpen(benchmark::State &state) {
    trainer().showMainWindow();
    trainer().showKeyboardWindow();
    trainer().showScoreWindow();
    trainer().showAboutWindow();
    trainer().showStatisticsWindow();
    double cpuPercent = 0;
    for (auto _ : state) {
        const double cpuBefore = processCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QEventLoop loop;
        QTimer::singleShot(1000, &loop, &QEventLoop::quit);
        loop.exec();
        cpuPercent = 100.0 * (processCpuSeconds() - cpuBefore) / (wall.nsecsElapsed() * 1e-9);
    }
    state.counters["core_percent"] = cpuPercent;
}
BENCHMARK(BM_IdleWithEveryWindowOpen)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// Lets a widget paint from inside an event filter, so that the moment its
// paint ends is known.
class PaintClock final : public QObject {
public:
    explicit PaintClock(QElapsedTimer &clock) : clock_(clock) {}
    bool painted() const { return paintedAt_ >= 0; }
    qint64 paintedAt() const { return paintedAt_; }
    void reset() { paintedAt_ = -1; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() != QEvent::Paint) return false;
        watched->event(event);
        paintedAt_ = clock_.nsecsElapsed();
        return true;
    }

private:
    QElapsedTimer &clock_;
    qint64 paintedAt_ = -1;
};

// A right key in the home-row course, alternating between ち and と so that
// every key moves the highlight; the time runs from the key's dispatch to
// the end of the keyboard view's paint.
void BM_KeyToKeyboardPaint(benchmark::State &state) {
    tapmora::Form1 *form1 = trainer().showMainWindow();
    tapmora::JisKeyboardView *view = trainer().showKeyboardWindow()->keyboardView();
    if (auto *start = form1->findChild<QPushButton *>(QStringLiteral("cmdstart"));
        start->isEnabled())
        start->click();
    auto *option = form1->findChild<QRadioButton *>(QStringLiteral("Option1"));
    option->setChecked(true);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(option, &enter);  // shows the first kana, ち
    QApplication::processEvents();

    QElapsedTimer clock;
    PaintClock paints(clock);
    view->installEventFilter(&paints);
    // ち is index 1 and typed with "a", と index 2 and typed with "s".
    QKeyEvent keys[] = {{QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a")},
                        {QEvent::KeyPress, Qt::Key_S, Qt::NoModifier, QStringLiteral("s")}};
    std::size_t shown = 0;
    for (auto _ : state) {
        const std::size_t following = 1 - shown;
        draws().draws = {ScriptedRandom::pick(static_cast<int>(following) + 1, 12)};
        paints.reset();
        clock.start();
        QApplication::sendEvent(option, &keys[shown]);
        while (!paints.painted()) QApplication::processEvents();
        state.SetIterationTime(static_cast<double>(paints.paintedAt()) * 1e-9);
        if (view->target() != tapmora::strokeForKana(following == 0 ? u'ち' : u'と')) {
            state.SkipWithError("the highlight did not move");
            break;
        }
        shown = following;
    }
    view->removeEventFilter(&paints);
}
BENCHMARK(BM_KeyToKeyboardPaint)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char **argv) {
    return runOffscreenBenchmarks(argc, argv, [] { useScratchSettings(); });
}
