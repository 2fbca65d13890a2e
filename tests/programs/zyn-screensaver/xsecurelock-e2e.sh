#!/bin/sh
# End to end under xsecurelock on a private Xvfb server: the locker runs the
# saver module named by XSECURELOCK_SAVER with XSCREENSAVER_WINDOW set (one
# window per screen, made by its multiplexer). The module here is the wrapper
# the build installs, which runs zyn-screensaver with -root; the hack must
# draw frames into the locker's window and end cleanly when the locker goes.
# Usage: xsecurelock-e2e.sh WRAPPER DATA_DIR. Exit 77 when it cannot run here.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../../scripts/xvfb.sh"

wrapper=$1
data=$2
skip() {
    echo "SKIP: $*"
    exit 77
}
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

command -v Xvfb >/dev/null || skip "no Xvfb"
command -v xsecurelock >/dev/null || skip "no xsecurelock"
command -v xwininfo >/dev/null || skip "no xwininfo"
command -v xwd >/dev/null || skip "no xwd"
command -v python3 >/dev/null || skip "no python3"
[ -f "$data/RezAduva.pac" ] || skip "no RezAduva.pac in $data"

work=$(mktemp -d /tmp/zyn-xsl-e2e.XXXXXX)
chmod 755 "$work"
xvfb_pid=""
locker_pid=""
cleanup() {
    [ -n "$locker_pid" ] && kill "$locker_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

start_xvfb "$work" 640 480 || fail "Xvfb did not start"

# The wrapper passes its arguments on: the stats file tells what was drawn.
module="$work/saver_test"
printf '#!/bin/sh\nexec "%s" --stats "%s/stats.txt" "$@"\n' "$wrapper" "$work" >"$module"
chmod 755 "$module"

env DISPLAY="$display" HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
    ZYN_DATA_DIR="$data" GALLIUM_DRIVER=softpipe ASAN_OPTIONS=detect_leaks=0 \
    XSECURELOCK_SAVER="$module" XSECURELOCK_NO_COMPOSITE=1 XSECURELOCK_BLANK_TIMEOUT=-1 \
    xsecurelock >"$work/locker.log" 2>&1 &
locker_pid=$!

# The hack's process: our binary with this test's home.
hack_pids() {
    for p in /proc/[0-9]*; do
        tr '\0' '\n' <"$p/environ" 2>/dev/null | grep -qx "HOME=$work" || continue
        tr '\0' '\n' <"$p/cmdline" 2>/dev/null | grep -q "zyn-screensaver" && echo "${p#/proc/}"
    done
    return 0
}

pid=""
for _ in $(seq 600); do
    kill -0 "$locker_pid" 2>/dev/null || fail "xsecurelock ended: $(tail -n 5 "$work/locker.log")"
    pid=$(hack_pids | head -n 1)
    [ -n "$pid" ] && break
    sleep 0.1
done
[ -n "$pid" ] || fail "xsecurelock did not start the saver within 60 s: $(tail -n 5 "$work/locker.log")"
window=$(tr '\0' '\n' <"/proc/$pid/environ" | sed -n 's/^XSCREENSAVER_WINDOW=//p')
[ -n "$window" ] || fail "the saver got no XSCREENSAVER_WINDOW"
echo "xsecurelock started the saver as pid $pid for window $window"
info=$(DISPLAY="$display" xwininfo -id "$window") || fail "no window $window"
echo "$info" | grep -q "Map State: IsViewable" || fail "the locker's window is not shown: $info"
echo "$info" | grep -q "Width: 640" || fail "the locker's window does not cover the screen: $info"

# Drawing: the scene lights the locker's window all over.
cells=0
for _ in $(seq 300); do
    kill -0 "$pid" 2>/dev/null || fail "the saver ended on its own: $(tail -n 5 "$work/locker.log")"
    cells=$(DISPLAY="$display" xwd -silent -id "$window" 2>/dev/null | "$here/xwd-lit-cells.py")
    [ "$cells" -ge 12 ] && break
    sleep 0.2
done
[ "$cells" -ge 12 ] || fail "the locker's window stays dark ($cells of 16 cells lit)"
echo "the scene lights $cells of 16 cells of the locker's window"

# The lock ends (here by its own SIGTERM); the saver must go with it.
kill "$locker_pid"
for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
done
kill -0 "$pid" 2>/dev/null && fail "the saver outlived the locker by 5 s"
wait "$locker_pid" 2>/dev/null || true
locker_pid=""
[ -f "$work/stats.txt" ] || fail "the saver did not end cleanly (no stats written): $(tail -n 5 "$work/locker.log")"
frames=$(awk '$1 == "frames" { print $2 }' "$work/stats.txt")
echo "the saver drew $frames frames into xsecurelock's window"
[ "$frames" -gt 10 ] || fail "only $frames frames drawn"
exit 0
