#!/bin/sh
# Makes doc/timeline.png, the README's picture: twelve moments of the 60-second
# timeline in a 4 x 3 grid (the trophy appearing, the hall, the shattering, the
# light path and burst, the three glyph waves, the hall racing on). Uses the
# release tree of scripts/run.sh, building it first when it is missing.
set -eu
cd "$(dirname "$0")/.."
hack=build/rel/source/programs/zyn-screensaver/zyn-screensaver
if [ ! -x "$hack" ]; then
  ./scripts/build.sh build/rel -DCMAKE_BUILD_TYPE=Release -DZYN_BUILD_TESTS=OFF
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# Ten frames a second, so that frame N is the moment N / 10 s.
"$hack" --data "$PWD/build/rel/data" --headless --seconds 60 --frame-rate 10 --size 176x135 \
  --out "$out" --no-log >/dev/null
frames=""
for n in 24 36 72 102 120 200 335 380 435 480 540 590; do
  frames="$frames $out/frame-$(printf %05d "$n").png"
done
mkdir -p doc
# shellcheck disable=SC2086
python3 scripts/timeline-grid.py doc/timeline.png 4 $frames
echo "doc/timeline.png: $(wc -c < doc/timeline.png) bytes"
