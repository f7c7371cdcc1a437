#!/bin/sh
# Runs a test program against a private X server with real key events:
#   run_under_xvfb.sh PROGRAM [ARGUMENTS...]
# Xvfb picks a free display itself and reports it once it accepts clients
# (-displayfd), so nothing waits on a timer. -noreset keeps the keymaps the
# test loads when their loader disconnects.
set -eu
scratch=$(mktemp -d)
xvfb=
trap '[ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null; rm -rf "$scratch"' EXIT INT TERM
mkfifo "$scratch/display"
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x1024x24 \
    3>"$scratch/display" >"$scratch/xvfb.log" 2>&1 &
xvfb=$!
read -r number <"$scratch/display" || true
if [ -z "${number:-}" ]; then
    echo "Xvfb did not start:" >&2
    cat "$scratch/xvfb.log" >&2
    exit 1
fi
DISPLAY=:$number QT_QPA_PLATFORM=xcb "$@"
