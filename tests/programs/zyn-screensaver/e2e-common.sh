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
