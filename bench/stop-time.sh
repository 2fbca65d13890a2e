#!/bin/sh
# How fast zyn-screensaver stops as a daemon's hack: it draws into the root
# window of a private Xvfb server at 1280x800, gets SIGTERM after a few
# seconds of frames, and the time until it has exited is measured. Each run
# also checks that no process of its group outlives it and that it wrote
# nothing into its private home (Mesa's shader cache aside). Then its window
# (one of its own, given with -window-id) is destroyed under it and it must
# exit by itself.
#
# Usage: bench/stop-time.sh [BUILD_DIR]   (default build/rel)
# Environment: STOP_RUNS (10), STOP_WARMUP seconds of frames first (3)
set -eu

cd "$(dirname "$0")/.."
. scripts/xvfb.sh
build=${1:-build/rel}
hack="$build/source/programs/zyn-screensaver/zyn-screensaver"
data="$build/data"
runs=${STOP_RUNS:-10}
warmup=${STOP_WARMUP:-3}

fail() {
    echo "stop-time: $*" >&2
    exit 1
}

[ -x "$hack" ] || fail "no $hack (build it: scripts/build.sh $build -DCMAKE_BUILD_TYPE=Release)"
[ -f "$data/RezAduva.pac" ] || fail "no art pack in $data (build the zyn-pack target)"
command -v Xvfb >/dev/null || fail "no Xvfb (scripts/install-deps.sh)"
command -v python3 >/dev/null || fail "no python3 to make a window for the hack"

work=$(mktemp -d /tmp/zyn-stop-time.XXXXXX)
xvfb_pid=""
hack_pid=""
cleanup() {
    [ -n "$hack_pid" ] && kill "$hack_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

start_xvfb "$work" 1280 800 || fail "Xvfb did not start"

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# start HOME ARGS...: the hack in the background, its own process group,
# until it says it animates.
start() {
    home=$1
    shift
    mkdir -p "$home"
    env -u XSCREENSAVER_WINDOW DISPLAY="$display" HOME="$home" XDG_CONFIG_HOME="$home/config" \
        XDG_STATE_HOME="$home/state" XDG_CACHE_HOME="$home/cache" \
        setsid "$hack" --data "$data" -verbose "$@" 2>"$work/err" &
    hack_pid=$!
    for _ in $(seq 300); do
        grep -q startAnimation "$work/err" && break
        kill -0 "$hack_pid" 2>/dev/null || fail "the hack ended early: $(tail -n 3 "$work/err")"
        sleep 0.05
    done
    grep -q startAnimation "$work/err" || fail "the hack did not start within 15 s"
    sleep "$warmup"
}

# check HOME: nothing of the group left, nothing written. Mesa's own shader
# cache (under XDG_CACHE_HOME, as for every GL program) is the driver's, not
# the hack's, and is left out.
check() {
    if kill -0 -- "-$hack_pid" 2>/dev/null; then fail "a process of the hack outlived it"; fi
    written=$(find "$1" -type f ! -path "$1/cache/mesa_shader_cache/*")
    [ -z "$written" ] || fail "the hack wrote files: $written"
}

times=""
i=0
while [ "$i" -lt "$runs" ]; do
    i=$((i + 1))
    start "$work/home$i" -root
    t0=$(now_ms)
    kill -TERM "$hack_pid"
    status=0
    wait "$hack_pid" || status=$?
    t1=$(now_ms)
    [ "$status" -eq 0 ] || fail "exit status $status after SIGTERM: $(tail -n 3 "$work/err")"
    check "$work/home$i"
    hack_pid=""
    times="$times $((t1 - t0))"
done
echo "exit after SIGTERM (ms):$times"
echo "$times" | tr ' ' '\n' | sed '/^$/d' | sort -n | awk '
    { v[NR] = $1 } END { printf "min %d  median %d  max %d  over %d runs\n", v[1], v[int((NR + 1) / 2)], v[NR], NR }'

# A window of our own for the hack, destroyed while it draws.
cat >"$work/window.py" <<'EOF'
import ctypes, sys, time
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XDefaultRootWindow.restype = ctypes.c_ulong
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x.XCreateSimpleWindow.restype = ctypes.c_ulong
x.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 2 + [ctypes.c_uint] * 3 + [ctypes.c_ulong] * 2
x.XMapWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x.XDestroyWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
d = x.XOpenDisplay(sys.argv[1].encode())
w = x.XCreateSimpleWindow(d, x.XDefaultRootWindow(d), 0, 0, 1280, 800, 0, 0, 0)
x.XMapWindow(d, w)
x.XSync(d, 0)
print(hex(w), flush=True)
sys.stdin.readline()
x.XDestroyWindow(d, w)
x.XSync(d, 0)
print("gone", flush=True)
sys.stdin.readline()
EOF
mkfifo "$work/to_window"
python3 "$work/window.py" "$display" <"$work/to_window" >"$work/window" &
window_pid=$!
exec 4>"$work/to_window"
for _ in $(seq 50); do
    [ -s "$work/window" ] && break
    sleep 0.1
done
window=$(head -n 1 "$work/window")
[ -n "$window" ] || fail "could not make a window"
start "$work/home-window" -window-id "$window"
t0=$(now_ms)
echo >&4
status=0
wait "$hack_pid" || status=$?
t1=$(now_ms)
exec 4>&-
wait "$window_pid" 2>/dev/null || true
[ "$status" -eq 0 ] || fail "exit status $status when its window went: $(tail -n 3 "$work/err")"
grep -q "the window is gone" "$work/err" || fail "no word of the window going: $(tail -n 3 "$work/err")"
check "$work/home-window"
hack_pid=""
echo "exit after its window was destroyed: $((t1 - t0)) ms"
