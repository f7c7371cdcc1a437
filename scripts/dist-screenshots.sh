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
trap 'kill $xvfb 2>/dev/null; pkill -f "$scratch" 2>/dev/null; rm -rf "$scratch"' EXIT
export DISPLAY=$display HOME=$scratch/home TMPDIR=$scratch/tmp LANG=${LANG:-ja_JP.UTF-8}
mkdir -p "$HOME" "$TMPDIR"
sleep 1

# Waits for a window whose name matches, screenshots it, then types keys into it.
shoot() { # name-pattern file keys...
    pattern=$1 file=$2
    shift 2
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | tail -n 1) && [ -n "$id" ] && break
        sleep 0.1
    done
    [ -n "${id:-}" ] || { echo "no window matching '$pattern'" >&2; return 1; }
    sleep 0.5
    import -window "$id" "$shots/$file"
    echo "saved $shots/$file"
    for key in "$@"; do xdotool key --window "$id" "$key"; done
}

"$installer" -! &
shoot "自己解凍ダイアログ" dist-destination.png Return
shoot "Tapmora for" dist-trainer.png
pkill -f "$HOME/.local/bin/tapmora" || true
wait

"$installer" -R &
shoot "Pelmar" dist-question.png Return
shoot "Pelmar" dist-success.png Return
wait
pkill -f "$HOME/.local/bin/tapmora" || true
