// What the open score window costs while nobody types: one refresh, and the
// share of a core the whole trainer uses with the window open, for the
// shipped refresh interval and for a refresh every millisecond.
#include <ctime>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include "trainer/bench/offscreen_main.h"
#include "trainer/ui/controls.h"
#include "trainer/ui/frm_print_score.h"
#include "trainer/ui/trainer_app.h"

namespace {

tapmora::TrainerApp& trainer() {
    static tapmora::TimeOfDayRandom random;
    static tapmora::TrainerApp app([] {
        tapmora::Services services = tapmora::desktopServices(random);
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

void BM_ScoreRefreshUnchanged(benchmark::State& state) {
    tapmora::FrmPrintScore* window = trainer().showScoreWindow();
    for (auto _ : state)
        window->refresh();
}
BENCHMARK(BM_ScoreRefreshUnchanged);

// Runs the event loop for one second with the main and score windows open
// and reports the process's CPU time as a share of that second.
void BM_IdleWithScoreWindowOpen(benchmark::State& state) {
    trainer().showMainWindow();
    tapmora::FrmPrintScore* window = trainer().showScoreWindow();
    window->findChild<QTimer*>(QStringLiteral("Timer1"))->setInterval(static_cast<int>(state.range(0)));
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
    window->findChild<QTimer*>(QStringLiteral("Timer1"))
        ->setInterval(tapmora::FrmPrintScore::kRefreshMilliseconds);
}
BENCHMARK(BM_IdleWithScoreWindowOpen)
    ->Arg(tapmora::FrmPrintScore::kRefreshMilliseconds)
    ->Arg(1)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return runOffscreenBenchmarks(argc, argv, [] {});
}
