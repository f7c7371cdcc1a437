// The entry point the trainer's benchmarks share: a QApplication on the
// offscreen platform (unless another is asked for) with the trainer's fonts.
#pragma once

#include <QApplication>

#include <benchmark/benchmark.h>

#include "trainer/ui/controls.h"

// `prepare` runs once the application exists, before any benchmark.
template <class Prepare>
int runOffscreenBenchmarks(int argc, char **argv, Prepare prepare) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    tapmora::installFonts();
    prepare();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
