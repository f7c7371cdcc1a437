// What the open score window costs while nobody types: one refresh, and the
// share of a core the whole trainer uses with the window open. The window
// refreshes only when a count changes, so idle it should add nothing.
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
    trainer().showScoreWindow();
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
BENCHMARK(BM_IdleWithScoreWindowOpen)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return runOffscreenBenchmarks(argc, argv, [] {});
}
