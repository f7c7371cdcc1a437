#!/bin/sh
# Runs the shipped installer under Xvfb as a new user would and saves what
# appears to build/screenshots/dist-*.png: the destination dialog (-!), the
# question before setup and the success message (-R), and the installed
# trainer. Needs the developer extras: scripts/install-deps.sh --dev
set -eu
cd "$(dirname "$0")/.."
installer=$PWD/build/dist/Tapmora-installer
shots=$PWD/build/screenshots
[ -x "$installer" ] || { echo "build the dist target first" >&2; exit 1; }
mkdir -p "$shots"

scratch=$(mktemp -d)
display=:$((90 + $$ % 9))
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
# Ends the trainers that setup started, by the process ids their windows
# give; nothing else is touched.
end_trainer() {
    for id in $(xdotool search --name "Tapmora for" 2>/dev/null); do
        pid=$(xdotool getwindowpid "$id" 2>/dev/null) && kill "$pid" 2>/dev/null
    done
    return 0
}
trap 'end_trainer; kill $xvfb 2>/dev/null; rm -rf "$scratch"' EXIT
export DISPLAY=$display HOME=$scratch/home TMPDIR=$scratch/tmp
# The installer speaks Japanese; the tools keep a locale that is installed.
lang=${SHOT_LANG:-ja_JP.UTF-8}
mkdir -p "$HOME" "$TMPDIR"
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

# Waits for a window whose name matches, screenshots it, then types keys
# into it.
shoot() { # name-pattern file keys...
    pattern=$1 file=$2 id=
    shift 2
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | tail -n 1)
        [ -n "$id" ] && break
        sleep 0.1
    done
    [ -n "${id:-}" ] || { echo "no window matching '$pattern'" >&2; return 1; }
    xdotool windowraise "$id" 2>/dev/null || true  # no window manager keeps it on top
    sleep 1.5  # let it paint
    import -window "$id" "$shots/$file"
    [ -z "${SHOT_DEBUG:-}" ] || xdotool getwindowgeometry "$id" >&2
    echo "saved $shots/$file"
    # Real key events (XTEST) to the focused window: Qt handles events sent
    # to a window id differently from typed ones.
    for key in "$@"; do xdotool windowfocus --sync "$id" key "$key" 2>/dev/null || true; done
    [ $# -eq 0 ] || sleep 2  # the window goes away; what follows appears
}

LANG=$lang "$installer" -! &
run=$!
shoot "Tapmora.EXE" dist-destination.png Return
shoot "Tapmora for" dist-trainer.png
end_trainer
wait $run

LANG=$lang "$installer" -R &
run=$!
shoot "Pelmar" dist-question.png Return
shoot "Pelmar" dist-success.png Return
wait $run
end_trainer
