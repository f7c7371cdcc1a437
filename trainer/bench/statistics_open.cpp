// How long the statistics window takes to open on a history of a million
// keys: reading the figures plus building and painting the window. The
// history is typed once by a simulated learner and kept beside the program
// (statistics-1m.sqlite) for later runs; typing it takes a few minutes.
#include <random>

#include <QApplication>
#include <QFileInfo>

#include <benchmark/benchmark.h>

#include "trainer/bench/offscreen_main.h"
#include "trainer/history/history_store.h"
#include "trainer/history/statistics.h"
#include "trainer/model/course_tables.h"
#include "trainer/ui/controls.h"
#include "trainer/ui/frm_statistics.h"
#include "trainer/ui/trainer_app.h"

namespace {

constexpr int kKeys = 1'000'000;

QString historyPath() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/statistics-1m.sqlite");
}

// Sessions of 100 to 900 keys in random courses, about one key in ten
// wrong, 250 to 1250 ms apart with a pause now and then.
void typeMillionKeys(const QString &path) {
    std::mt19937 generator(16);
    std::int64_t wall = 1'600'000'000'000, monotonic = 0;
    tapmora::HistoryStore store(path, {[&] { return wall; }, [&] { return monotonic; }});
    std::uniform_int_distribution<int> courseOf(1, tapmora::kCourseCount);
    std::uniform_int_distribution<int> sessionLength(100, 900);
    std::uniform_int_distribution<int> interval(250, 1250);
    std::uniform_int_distribution<int> percent(0, 99);
    int typed = 0;
    while (typed < kKeys) {
        const tapmora::Course &course = tapmora::course(courseOf(generator));
        const int number = static_cast<int>(&course - &tapmora::course(1)) + 1;
        std::uniform_int_distribution<std::size_t> entryOf(0, course.entries.size() - 1);
        for (int n = sessionLength(generator); n > 0 && typed < kKeys; --n, ++typed) {
            const int gap = percent(generator) == 0 ? 30'000 : interval(generator);
            wall += gap;
            monotonic += gap;
            const tapmora::CourseEntry &entry = course.entries[entryOf(generator)];
            const bool wrong = percent(generator) < 10;
            const auto pressed = static_cast<std::int16_t>(
                wrong ? course.entries[entryOf(generator)].keyCode : entry.keyCode);
            store.record({number, entry.kana, entry.keyCode, pressed, pressed == entry.keyCode});
            if (typed % 10'000 == 0) store.flush();
        }
        wall += 3'600'000;  // an hour between sessions
        store.endSession();
    }
}

tapmora::HistoryStore &history() {
    static tapmora::HistoryStore *store = [] {
        if (!QFileInfo::exists(historyPath())) typeMillionKeys(historyPath());
        return new tapmora::HistoryStore(historyPath());
    }();
    return *store;
}

tapmora::TrainerApp &trainer() {
    static tapmora::TimeOfDayRandom random;
    static tapmora::TrainerApp app([] {
        tapmora::Services services = tapmora::desktopServices(random);
        services.beep = [] {};
        services.history = &history();
        return services;
    }());
    return app;
}

void BM_ReadStatistics(benchmark::State &state) {
    QSqlDatabase db = history().database();
    for (auto _ : state) benchmark::DoNotOptimize(tapmora::history::readStatistics(db));
}
BENCHMARK(BM_ReadStatistics)->Unit(benchmark::kMillisecond);

// Opens the window, lets it paint, and closes it again.
void BM_OpenStatisticsWindow(benchmark::State &state) {
    for (auto _ : state) {
        tapmora::FrmStatistics *window = trainer().showStatisticsWindow();
        QApplication::processEvents();
        state.PauseTiming();
        window->close();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenStatisticsWindow)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char **argv) {
    // Types the history before any measuring.
    return runOffscreenBenchmarks(argc, argv, [] { history(); });
}
