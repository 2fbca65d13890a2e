#!/bin/sh
# Processor time per frame of zyn-screensaver against XScreenSaver's atunnel
# hack, both drawing into the root window of one Xvfb server at 1280x800 with
# Mesa's software rasteriser, paced at 30 frames per second, one after the
# other under the same conditions. Frames are counted the same way for both:
# a small preloaded library counts buffer swaps. Processor time comes
# from /proc, sampled after a warm-up so that start-up (decoding the art) is
# not counted; the X server's own time (it receives every software frame) is
# shown beside it, and so is the time from launch to the first frame (five
# launches of each). Our hack also runs with -detail low, just before, for
# its saving.
#
# Usage: bench/cpu-vs-peer.sh [BUILD_DIR]   (default build/rel; a build
#        without the sanitizers, which refuse a preloaded library)
# Environment: BENCH_SECONDS (20), BENCH_WARMUP (5), GALLIUM_DRIVER (llvmpipe)
set -eu

cd "$(dirname "$0")/.."
. scripts/xvfb.sh
build=${1:-build/rel}
ours="$build/source/programs/zyn-screensaver/zyn-screensaver"
peer=/usr/libexec/xscreensaver/atunnel
data="$build/data"
seconds=${BENCH_SECONDS:-20}
warmup=${BENCH_WARMUP:-5}
width=1280
height=800
fps=30
delay=33333

fail() {
    echo "cpu-vs-peer: $*" >&2
    exit 1
}

[ -x "$ours" ] || fail "no $ours (build it: scripts/build.sh $build -DCMAKE_BUILD_TYPE=Release)"
[ -f "$data/RezAduva.pac" ] || fail "no art pack in $data (build the zyn-pack target)"
[ -x "$peer" ] || fail "no $peer (install xscreensaver-gl: scripts/install-deps.sh)"
command -v Xvfb >/dev/null || fail "no Xvfb (scripts/install-deps.sh)"
command -v cc >/dev/null || fail "no C compiler for the frame counter"
if ldd "$ours" | grep -q libasan; then
    fail "$ours is built with the sanitizers; use a plain Release build"
fi

work=$(mktemp -d /tmp/cpu-vs-peer.XXXXXX)
xvfb_pid=""
hack_pid=""
cleanup() {
    [ -n "$hack_pid" ] && kill "$hack_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# The frame counter: every buffer swap adds one to a shared file, which also
# gets the wall-clock time at which the first frame was handed to the X
# server (the end of the first swap), so that no polling process competes
# with the hack while it starts.
# atunnel swaps through EGL. Ours, on Mesa's software rasteriser, draws
# through EGL too but puts each frame on the window itself from shared
# memory (stretched at low detail); through GLX (ZYN_X11_GL=glx) it swaps.
# An image put outside a swap is a frame (Mesa's own puts happen inside one).
cat >"$work/swapcount.c" <<'EOF'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

typedef void (*SwapFn)(void*, unsigned long);
typedef unsigned (*EglSwapFn)(void*, void*);
typedef int (*PutFn)(void*, unsigned long, void*, void*, int, int, int, int, unsigned, unsigned);
typedef int (*ShmPutFn)(void*, unsigned long, void*, void*, int, int, int, int, unsigned, unsigned, int);
static uint64_t* counter; /* frames, then the first frame's time in ns */
static SwapFn real_swap;
static EglSwapFn real_egl_swap;
static PutFn real_put;
static ShmPutFn real_shm_put;
static __thread int in_swap;

__attribute__((constructor)) static void open_counter(void) {
    const char* path = getenv("SWAPCOUNT_FILE");
    if (!path) return;
    int fd = open(path, O_RDWR);
    if (fd < 0) return;
    void* p = mmap(0, 2 * sizeof *counter, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (p != MAP_FAILED) counter = p;
}

static void count_frame(void) {
    if (!counter) return;
    if (__atomic_add_fetch(&counter[0], 1, __ATOMIC_RELAXED) == 1) {
        struct timespec t;
        clock_gettime(CLOCK_REALTIME, &t);
        counter[1] = (uint64_t)t.tv_sec * 1000000000u + (uint64_t)t.tv_nsec;
    }
}

void glXSwapBuffers(void* dpy, unsigned long drawable) {
    if (!real_swap) real_swap = (SwapFn)dlsym(RTLD_NEXT, "glXSwapBuffers");
    ++in_swap;
    if (real_swap) real_swap(dpy, drawable);
    --in_swap;
    count_frame();
}

unsigned eglSwapBuffers(void* dpy, void* surface) {
    if (!real_egl_swap) real_egl_swap = (EglSwapFn)dlsym(RTLD_NEXT, "eglSwapBuffers");
    ++in_swap;
    const unsigned ok = real_egl_swap ? real_egl_swap(dpy, surface) : 0;
    --in_swap;
    count_frame();
    return ok;
}

int XPutImage(void* dpy, unsigned long d, void* gc, void* image, int sx, int sy, int dx, int dy, unsigned w,
              unsigned h) {
    if (!real_put) real_put = (PutFn)dlsym(RTLD_NEXT, "XPutImage");
    const int ok = real_put ? real_put(dpy, d, gc, image, sx, sy, dx, dy, w, h) : 0;
    if (!in_swap) count_frame();
    return ok;
}

int XShmPutImage(void* dpy, unsigned long d, void* gc, void* image, int sx, int sy, int dx, int dy, unsigned w,
                 unsigned h, int send_event) {
    if (!real_shm_put) real_shm_put = (ShmPutFn)dlsym(RTLD_NEXT, "XShmPutImage");
    const int ok = real_shm_put ? real_shm_put(dpy, d, gc, image, sx, sy, dx, dy, w, h, send_event) : 0;
    if (!in_swap) count_frame();
    return ok;
}
EOF
cc -O2 -shared -fPIC -o "$work/swapcount.so" "$work/swapcount.c" -ldl || fail "cannot build the frame counter"

start_xvfb "$work" "$width" "$height" || fail "Xvfb did not start"

ticks=$(getconf CLK_TCK)
# utime + stime of a process in clock ticks (the name field may hold blanks).
cpu_ticks() {
    sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'
}
frames() {
    od -An -t u8 -N 8 "$1" | tr -d ' '
}
first_frame_ns() {
    od -An -t u8 -j 8 -N 8 "$1" | tr -d ' '
}

# launch NAME COMMAND...: starts a hack with a fresh frame counter; sets
# counter, launched (ns) and hack_pid.
launch() {
    name=$1
    shift
    counter="$work/$name.count"
    head -c 16 /dev/zero >"$counter"
    launched=$(date +%s%N)
    env -u XSCREENSAVER_WINDOW DISPLAY="$display" LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER="${GALLIUM_DRIVER:-llvmpipe}" \
        SWAPCOUNT_FILE="$counter" LD_PRELOAD="$work/swapcount.so" \
        HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_STATE_HOME="$work/home/state" \
        "$@" >"$work/$name.out" 2>&1 &
    hack_pid=$!
}

stop_hack() {
    kill "$hack_pid" 2>/dev/null || true
    wait "$hack_pid" 2>/dev/null || true
    hack_pid=""
}

# Milliseconds from launch to the first frame handed to the X server, as a
# daemon's user waits for it; empty when none came.
first_frame_ms() {
    first=$(first_frame_ns "$counter")
    [ "$first" -gt 0 ] && echo $(((first - launched) / 1000000))
}

# first_frame NAME COMMAND...: launches the hack, waits for its first frame
# (up to 10 s, checking rarely so as not to compete with it) and prints the
# milliseconds it took.
first_frame() {
    launch "$@"
    sleep 1
    for _ in $(seq 45); do
        [ "$(frames "$counter")" -gt 0 ] && break
        sleep 0.2
    done
    ms=$(first_frame_ms)
    stop_hack
    [ -n "$ms" ] || fail "$1 drew nothing in 10 s: $(tail -n 3 "$work/$1.out")"
    echo "$ms"
}

# run NAME SECONDS COMMAND...: prints "frames cpu_seconds server_seconds
# wall_seconds" of SECONDS after the warm-up.
run() {
    name=$1
    span=$2
    shift 2
    launch "$name" "$@"
    sleep "$warmup"
    ms=$(first_frame_ms)
    [ -n "$ms" ] || fail "$name drew nothing in $warmup s"
    echo "$ms" >"$work/$name.first"
    kill -0 "$hack_pid" 2>/dev/null || fail "$name ended early: $(tail -n 3 "$work/$name.out")"
    f0=$(frames "$counter")
    c0=$(cpu_ticks "$hack_pid")
    x0=$(cpu_ticks "$xvfb_pid")
    t0=$(date +%s%N)
    sleep "$span"
    f1=$(frames "$counter")
    c1=$(cpu_ticks "$hack_pid")
    x1=$(cpu_ticks "$xvfb_pid")
    t1=$(date +%s%N)
    stop_hack
    awk -v f="$((f1 - f0))" -v c="$((c1 - c0))" -v x="$((x1 - x0))" -v t="$((t1 - t0))" -v hz="$ticks" \
        'BEGIN { printf "%d %.3f %.3f %.3f\n", f, c / hz, x / hz, t / 1e9 }'
}

report() {
    echo "$2" | awk -v name="$1" '{
        printf "%-16s %5d frames in %5.2f s (%5.1f fps)  CPU %6.2f s = %6.2f ms/frame (%4.0f%% of a core)  X server %5.2f ms/frame\n",
            name, $1, $4, $1 / $4, $2, 1000 * $2 / $1, 100 * $2 / $4, 1000 * $3 / $1 }'
}

echo "Xvfb $display ${width}x${height}, Mesa ${GALLIUM_DRIVER:-llvmpipe}, ${fps} fps asked, ${seconds} s measured after ${warmup} s"
# Low detail first, for its saving: it also decodes the art and caches the
# pixels, so that the default run after it starts as every activation under
# a daemon but the first does.
low_result=$(run zyn-low "$seconds" "$ours" -root -delay "$delay" --data "$data" --no-log -detail low)
ours_result=$(run zyn "$seconds" "$ours" -root -delay "$delay" --data "$data" --no-log)

# XScreenSaver sleeps -delay after each frame, on top of the frame's own
# time; ours counts -delay from frame start to frame start. The peer's delay
# is shortened by its measured frame time so that both aim at 30 fps.
# Two short probes: the second corrects the first on a busy machine.
# peer NAME: measures /usr/libexec/xscreensaver/NAME as above and prints the
# same line as run, then its -delay.
peer() {
    peer_delay=$delay
    for _ in 1 2; do
        probe=$(run "$1-probe" 4 "/usr/libexec/xscreensaver/$1" -root -delay "$peer_delay")
        peer_delay=$(echo "$probe" | awk -v d="$peer_delay" -v target="$delay" '{
            busy = 1e6 * $4 / $1 - d; nd = target - busy; printf "%d\n", nd < 0 ? 0 : nd }')
    done
    echo "$(run "$1" "$seconds" "/usr/libexec/xscreensaver/$1" -root -delay "$peer_delay") $peer_delay"
}
peer_result=$(peer atunnel)

report zyn-screensaver "$ours_result"
report "  -detail low" "$low_result"
report atunnel "$peer_result"
echo "$ours_result $low_result" | awk '{
    printf "CPU per frame, -detail low / high: %.2f (a saving of %.0f%%)\n", ($6 / $5) / ($2 / $1), 100 * (1 - ($6 / $5) / ($2 / $1)) }'
# Launch to the first frame: one launch says little on a shared machine, so
# five of each, taken in turn. The art is cached by now, as it is for every
# activation under a daemon but the first.
ours_firsts=""
peer_firsts=""
for _ in 1 2 3 4 5; do
    ours_firsts="$ours_firsts $(first_frame zyn-first "$ours" -root -delay "$delay" --data "$data" --no-log)"
    peer_firsts="$peer_firsts $(first_frame atunnel-first "$peer" -root -delay "$delay")"
done
median() {
    echo "$@" | tr ' ' '\n' | grep . | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}
ours_median=$(median $ours_firsts)
peer_median=$(median $peer_firsts)
echo "First frame after launch, ms: zyn-screensaver$ours_firsts (median $ours_median, art cached), atunnel$peer_firsts (median $peer_median)"
ratio=$(awk -v a="$ours_median" -v b="$peer_median" 'BEGIN { printf "%.2f", a / b }')
echo "  zyn-screensaver / atunnel: $ratio; the very first launch (-detail low, art not yet cached): $(cat "$work/zyn-low.first") ms"
echo "$ours_result $peer_result" | awk '{
    printf "CPU per frame, zyn-screensaver / atunnel: %.2f (hack alone), %.2f (hack and X server)\n",
        ($2 / $1) / ($6 / $5), (($2 + $3) / $1) / (($6 + $7) / $5) }'
# The other GL hacks people compare with, at the same settings; the goal
# is set against atunnel, these are shown beside it.
for other in gears glmatrix; do
    if [ -x "/usr/libexec/xscreensaver/$other" ]; then
        other_result=$(peer "$other")
        report "$other" "$other_result"
        echo "$ours_result $other_result" | awk -v name="$other" '{
            printf "  zyn-screensaver / %s: %.2f (hack alone), %.2f (hack and X server)\n", name,
                ($2 / $1) / ($6 / $5), (($2 + $3) / $1) / (($6 + $7) / $5) }'
    fi
done
echo "  (zyn-screensaver -delay $delay; each peer's -delay is shortened by its own frame time)"

# A cheap frame shows the pacing: at 30 fps in a small window the hack
# should sleep nearly all the time.
idle_result=$(run idle "$seconds" "$ours" --window 160x100 --frame-rate "$fps" --data "$data" --no-log)
report "idle 160x100" "$idle_result"
