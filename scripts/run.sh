#!/bin/sh
# Installs what the project needs, builds the release configuration (which
# generates the art pack) and runs the temple screen saver: in a preview
# window when a display is there, otherwise as a headless export of the whole
# 60-second timeline with its contact sheet. Extra arguments go to the program.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh build/rel -DCMAKE_BUILD_TYPE=Release -DZYN_BUILD_TESTS=OFF
hack=build/rel/source/programs/zyn-screensaver/zyn-screensaver
data="$PWD/build/rel/data"

if [ -n "${DISPLAY:-}" ] && command -v xdpyinfo >/dev/null 2>&1 && xdpyinfo >/dev/null 2>&1; then
  echo "Starting the screen saver in a preview window; move the mouse or press Escape to close it."
  exec "$hack" --data "$data" --window "$@"
fi

out="$PWD/out/timeline"
echo "No display: exporting the 60-second timeline headless into $out"
# About half a megabyte of PNG a frame at this size.
echo "600 frames of 1024x786, about 300 MB; the frame count shows while it runs."
"$hack" --data "$data" --headless --seconds 60 --frame-rate 10 --size 1024x786 --out "$out" "$@"
echo "Frames: $out/frame-*.png"
echo "Contact sheet: $out/contact.png"
