#!/bin/sh
# Installs the Debian packages the build and the tests need. Does nothing when
# they are all present; needs root (or sudo) only when something is missing.
#   scripts/install-deps.sh          build and test packages
#   scripts/install-deps.sh --dev    also the developer extras (xauth, ImageMagick, xdotool)
set -eu

# The trainer's beeps: Qt 6.4's QSoundEffect reads the WAV itself and plays
# it through libpulse (a dependency of libqt6multimedia6), so a desktop's
# PulseAudio or PipeWire server is all it needs at run time; no GStreamer
# or FFmpeg plug-in is involved. Without a server it rings the bell.
packages="cmake g++ make pkg-config clang clang-format libclang-rt-14-dev
libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev libcli11-dev nlohmann-json3-dev help2man
qt6-base-dev libgl-dev fonts-ipafont-gothic locales
libqt6sql6-sqlite qt6-charts-dev libqt6opengl6-dev
qt6-multimedia-dev libqt6multimedia6
xvfb x11-xkb-utils libx11-dev libxtst-dev
xz-utils"
if [ "${1:-}" = "--dev" ]; then
  packages="$packages xauth imagemagick xdotool"
fi

missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then
  sudo=""
else
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# shellcheck disable=SC2086
$sudo apt-get install -y -qq --no-install-recommends $missing
