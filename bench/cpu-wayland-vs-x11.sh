#!/bin/sh
# Processor time per frame of zyn-screensaver on Wayland (--wayland, a
# layer-shell overlay on a private headless sway whose one output is
# 1280x800) beside the X11 hack (-root on a private 1280x800 Xvfb), both with
# Mesa's software rasteriser, paced at 30 frames per second. Each side runs
# twice, BENCH_WARMUP seconds and BENCH_WARMUP + BENCH_SECONDS seconds, and
# the figure is the difference of the two runs' --stats (processor seconds
# over frames), so that start-up (decoding the art) is not counted. The
# compositor's and the X server's own time is not included.
#
# Usage: bench/cpu-wayland-vs-x11.sh [BUILD_DIR]   (default build/rel; a
#        Release build without the sanitizers)
# Environment: BENCH_SECONDS (20), BENCH_WARMUP (6), GALLIUM_DRIVER (llvmpipe),
#              BENCH_ARGS (more options for the hack, e.g. "-detail low")
set -eu

cd "$(dirname "$0")/.."
. scripts/xvfb.sh
build=${1:-build/rel}
ours="$(pwd)/$build/source/programs/zyn-screensaver/zyn-screensaver"
data="$(pwd)/$build/data"
seconds=${BENCH_SECONDS:-20}
warmup=${BENCH_WARMUP:-6}
export GALLIUM_DRIVER=${GALLIUM_DRIVER:-llvmpipe}

fail() {
    echo "cpu-wayland-vs-x11: $*" >&2
    exit 1
}

[ -x "$ours" ] || fail "no $ours (build it: scripts/build.sh $build -DCMAKE_BUILD_TYPE=Release)"
[ -f "$data/RezAduva.pac" ] || fail "no art pack in $data (build the zyn-pack target)"
for program in Xvfb sway swaymsg; do
    command -v "$program" >/dev/null || fail "no $program (scripts/install-deps.sh)"
done

work=$(mktemp -d /tmp/cpu-wayland-vs-x11.XXXXXX)
chmod 755 "$work"
xvfb_pid=""
sway_pid=""
hack_pid=""
cleanup() {
    [ -n "$hack_pid" ] && kill "$hack_pid" 2>/dev/null || true
    [ -n "$sway_pid" ] && kill "$sway_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# run_for SECONDS STATS ARGS...: runs the hack that long, then stops it.
run_for() {
    length=$1
    stats=$2
    shift 2
    # shellcheck disable=SC2086
    "$ours" "$@" ${BENCH_ARGS:-} --data "$data" --no-log --stats "$stats" >"$work/hack.log" 2>&1 &
    hack_pid=$!
    sleep "$length"
    kill "$hack_pid"
    wait "$hack_pid" || fail "the hack failed: $(tail -n 3 "$work/hack.log")"
    hack_pid=""
    [ -f "$stats" ] || fail "no stats from the hack: $(tail -n 3 "$work/hack.log")"
}

value() { awk -v k="$1" '$1 == k { print $2 }' "$2"; }

# per_frame NAME SHORT LONG: the figure from the two runs.
per_frame() {
    f1=$(value frames "$2") f2=$(value frames "$3")
    c1=$(value cpu_seconds "$2") c2=$(value cpu_seconds "$3")
    awk -v n="$1" -v f1="$f1" -v f2="$f2" -v c1="$c1" -v c2="$c2" -v s="$seconds" 'BEGIN {
        if (f2 <= f1) { printf "%-8s no frames counted\n", n; exit }
        printf "%-8s %6.2f ms of processor per frame, %5.1f frames/s (%d frames in %d s)\n",
               n, (c2 - c1) * 1000 / (f2 - f1), (f2 - f1) / s, f2 - f1, s }'
}

# X11: the root window of a 1280x800 Xvfb.
start_xvfb "$work" 1280 800 || fail "Xvfb did not start"
DISPLAY=$display run_for "$warmup" "$work/x11-short" -root -delay 33333
DISPLAY=$display run_for "$((warmup + seconds))" "$work/x11-long" -root -delay 33333
kill "$xvfb_pid"
xvfb_pid=""

# Wayland: headless sway, as nobody when run as root (sway refuses root).
runtime="$work/runtime"
mkdir -p "$runtime"
chmod 700 "$runtime"
: >"$work/sway.config"
chmod 644 "$work/sway.config"
as_user=""
if [ "$(id -u)" -eq 0 ]; then
    chown nobody "$runtime"
    as_user="setpriv --reuid=nobody --regid=$(id -g nobody) --clear-groups"
fi
# shellcheck disable=SC2086
env XDG_RUNTIME_DIR="$runtime" HOME="$runtime" WLR_BACKENDS=headless WLR_RENDERER=pixman \
    WLR_LIBINPUT_NO_DEVICES=1 $as_user sway -c "$work/sway.config" >"$work/sway.log" 2>&1 &
sway_pid=$!
socket=""
ipc=""
for _ in $(seq 300); do
    socket=$(find "$runtime" -maxdepth 1 -name 'wayland-*' ! -name '*.lock' 2>/dev/null | head -n 1)
    ipc=$(find "$runtime" -maxdepth 1 -name 'sway-ipc.*.sock' 2>/dev/null | head -n 1)
    [ -n "$socket" ] && [ -n "$ipc" ] && swaymsg -s "$ipc" -t get_version >/dev/null 2>&1 && break
    sleep 0.1
done
[ -n "$ipc" ] || fail "sway did not come up: $(tail -n 3 "$work/sway.log")"
swaymsg -s "$ipc" output HEADLESS-1 mode 1280x800 >/dev/null || fail "cannot size the output"
WAYLAND_DISPLAY=$socket run_for "$warmup" "$work/wl-short" --wayland -delay 33333
WAYLAND_DISPLAY=$socket run_for "$((warmup + seconds))" "$work/wl-long" --wayland -delay 33333

echo "zyn-screensaver ${BENCH_ARGS:+$BENCH_ARGS }at 1280x800, 30 frames/s, GALLIUM_DRIVER=$GALLIUM_DRIVER:"
per_frame X11 "$work/x11-short" "$work/x11-long"
per_frame Wayland "$work/wl-short" "$work/wl-long"
