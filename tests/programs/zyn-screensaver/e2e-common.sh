# Sourced by the end-to-end scripts that run the hack under a real daemon or
# locker on a private Xvfb server.
#
# e2e_begin NAME WIDTH HEIGHT: a work folder (in $work, readable by others,
# removed at exit together with the Xvfb server and whatever pids are listed
# in $stop_pids) and the server itself ($display).
# e2e_need CMD...: skips the test (exit 77) when one of them is missing.
# e2e_hack_pids HOME WHAT: pids of the processes running with HOME (other
# tests may run the same binary meanwhile) whose executable is WHAT, an
# absolute path, or else whose command line holds WHAT.
# e2e_wait_gone PID SECONDS: returns 1 when PID is still there after then.
# e2e_frames STATS: the frame count of a stats file, empty when none.
# e2e_host_window PID HOST: sets $window to the XSCREENSAVER_WINDOW the host
# gave the hack PID, and fails unless that window is shown across the screen.
# e2e_wait_lit PID LOG [STATS]: waits up to 60 s until the scene lights 12 of
# 16 cells of $window (and, given STATS, more than 10 frames are counted);
# fails when PID ends first (showing LOG) or the window stays dark.

here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../../scripts/xvfb.sh"

skip() {
    echo "SKIP: $*"
    exit 77
}
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

e2e_need() {
    for cmd in "$@"; do
        command -v "$cmd" >/dev/null || skip "no $cmd"
    done
}

stop_pids=""
xvfb_pid=""
e2e_cleanup() {
    for p in $stop_pids $xvfb_pid; do
        kill "$p" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}

e2e_begin() {
    e2e_width=$2
    work=$(mktemp -d "/tmp/zyn-$1.XXXXXX")
    chmod 755 "$work"
    trap e2e_cleanup EXIT INT TERM
    start_xvfb "$work" "$2" "$3" || fail "Xvfb did not start"
}

e2e_hack_pids() {
    for p in /proc/[0-9]*; do
        # A process may end while it is looked at: its files then vanish.
        case $2 in
        /*) [ "$(readlink "$p/exe" 2>/dev/null)" = "$2" ] || continue ;;
        *) { tr '\0' '\n' <"$p/cmdline"; } 2>/dev/null | grep -qF "$2" || continue ;;
        esac
        { tr '\0' '\n' <"$p/environ"; } 2>/dev/null | grep -qx "HOME=$1" && echo "${p#/proc/}"
    done
    return 0
}

e2e_wait_gone() {
    for _ in $(seq $(($2 * 20))); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.05
    done
    ! kill -0 "$1" 2>/dev/null
}

e2e_frames() {
    awk '$1 == "frames" { print $2 }' "$1" 2>/dev/null || true
}

e2e_host_window() {
    window=$(tr '\0' '\n' <"/proc/$1/environ" | sed -n 's/^XSCREENSAVER_WINDOW=//p')
    [ -n "$window" ] || fail "the hack got no XSCREENSAVER_WINDOW"
    echo "$2 started the hack as pid $1 for window $window"
    info=$(DISPLAY="$display" xwininfo -id "$window") || fail "no window $window"
    echo "$info" | grep -q "Map State: IsViewable" || fail "the $2 window is not shown: $info"
    echo "$info" | grep -q "Width: $e2e_width" || fail "the $2 window does not cover the screen: $info"
}

e2e_wait_lit() {
    cells=0
    drawn=0
    for _ in $(seq 300); do
        kill -0 "$1" 2>/dev/null || fail "the hack ended on its own: $(tail -n 5 "$2")"
        cells=$(DISPLAY="$display" xwd -silent -id "$window" 2>/dev/null | "$here/xwd-lit-cells.py")
        [ -n "${3:-}" ] && drawn=$(e2e_frames "$3")
        [ "$cells" -ge 12 ] && { [ -z "${3:-}" ] || [ "${drawn:-0}" -gt 10 ]; } && break
        sleep 0.2
    done
    [ "$cells" -ge 12 ] || fail "the window stays dark ($cells of 16 cells lit)"
    [ -z "${3:-}" ] || [ "${drawn:-0}" -gt 10 ] || fail "the hack drew ${drawn:-no} frames in 60 s"
    echo "the scene lights $cells of 16 cells of the window"
}
