#!/bin/sh
# Installs what is missing, builds everything and runs every test: first the
# normal build, then the whole suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer.
#   scripts/test.sh         what a developer runs
#   scripts/test.sh --ci    also checks the formatting and fails on any
#                           compiler warning (what CI runs)
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)
werror=OFF
if [ "${1:-}" = "--ci" ]; then
  werror=ON
  git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
  echo "formatting: clean"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELMAR_WERROR=$werror >/dev/null
cmake --build build -j "$jobs"
(cd build && ctest -j "$jobs" --output-on-failure --output-log ctest.log)

# The sanitizer build skips the Qt windows (covered by the normal build) to
# keep the run short; the engine, installer logic and tools all run under it.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPELMAR_SANITIZE=ON -DPELMAR_WITH_QT=OFF -DPELMAR_WERROR=$werror >/dev/null
cmake --build build-asan -j "$jobs"
(cd build-asan && ctest -j "$jobs" --output-on-failure --output-log ctest.log)

# A bounded fuzz run: every fuzz target for a fixed time from a fixed seed
# over the committed corpus (fuzz/README.md has the long runs).
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DPELMAR_FUZZ=ON -DPELMAR_WITH_QT=OFF -DPELMAR_WERROR=$werror >/dev/null
cmake --build build-fuzz -j "$jobs" --target fuzz_cabinet fuzz_decoder fuzz_scan fuzz_payload fuzz_options fuzz_paths
fuzz/run.sh 60

# The test runner's summaries again, so the run closes on them.
echo "normal build:    $(grep -h 'tests passed' build/ctest.log)"
echo "sanitizer build: $(grep -h 'tests passed' build-asan/ctest.log)"
grep -h 'tests passed' build-asan/ctest.log
