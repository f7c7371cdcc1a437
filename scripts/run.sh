#!/bin/sh
# Installs what is missing, builds and starts the main program.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target tapmora -j "$(nproc)"
exec build/bin/tapmora
