#!/bin/sh
# Compares two headless exports of the show frame by frame and prints the
# worst frame's PSNR (colour channels, dB; "inf" where identical). Make the
# exports with the same settings from the two builds, e.g.
#   zyn-screensaver --headless --seconds 60 --frame-rate 10 --size 1024x786 --out DIR
# A frame within 40 dB of the other is, to the eye, the same picture.
#
# Usage: bench/compare-exports.sh OLD_DIR NEW_DIR [MIN_DB [BUILD_DIR]]
#        (BUILD_DIR, default build/rel, holds the comparer; exit 1 when the
#        worst frame is below MIN_DB or the exports do not match up)
set -eu
cd "$(dirname "$0")/.."
[ $# -ge 2 ] || {
    echo "usage: bench/compare-exports.sh OLD_DIR NEW_DIR [MIN_DB [BUILD_DIR]]" >&2
    exit 2
}
old=$1
new=$2
min=${3:-40}
build=${4:-build/rel}
tool="$build/bench/zyn-compare-frames"
[ -x "$tool" ] || {
    echo "compare-exports: no $tool (build it: scripts/build.sh $build -DZYN_BUILD_BENCH=ON)" >&2
    exit 1
}
"$tool" "$old" "$new" "$min" >"${TMPDIR:-/tmp}/compare-exports.$$" || status=$?
sort -k2 -g "${TMPDIR:-/tmp}/compare-exports.$$" | grep -v '^worst' | head -n 5 | sed 's/^/lowest: /'
tail -n 1 "${TMPDIR:-/tmp}/compare-exports.$$"
rm -f "${TMPDIR:-/tmp}/compare-exports.$$"
exit "${status:-0}"
