#!/bin/sh
# Installs what is missing, builds everything and runs every test: first the
# normal build, then the whole suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
(cd build && ctest -j "$jobs" --output-on-failure)

# The sanitizer build skips the Qt windows (covered by the normal build) to
# keep the run short; the engine, installer logic and tools all run under it.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPELMAR_SANITIZE=ON -DPELMAR_WITH_QT=OFF >/dev/null
cmake --build build-asan -j "$jobs"
(cd build-asan && ctest -j "$jobs" --output-on-failure)
