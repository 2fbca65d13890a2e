#!/bin/sh
# End to end under xsecurelock on a private Xvfb server: the locker runs the
# saver module named by XSECURELOCK_SAVER with XSCREENSAVER_WINDOW set (one
# window per screen, made by its multiplexer). The module here is the wrapper
# the build installs, which runs zyn-screensaver with -root; the hack must
# draw frames into the locker's window and end cleanly when the locker goes.
# Usage: xsecurelock-e2e.sh WRAPPER DATA_DIR. Exit 77 when it cannot run here.
set -eu
. "$(cd "$(dirname "$0")" && pwd)/e2e-common.sh"

wrapper=$1
data=$2
e2e_need Xvfb xsecurelock xwininfo xwd python3
[ -f "$data/RezAduva.pac" ] || skip "no RezAduva.pac in $data"
e2e_begin xsl-e2e 640 480

# The wrapper passes its arguments on: the stats file tells what was drawn.
module="$work/saver_test"
printf '#!/bin/sh\nexec "%s" --stats "%s/stats.txt" "$@"\n' "$wrapper" "$work" >"$module"
chmod 755 "$module"

env DISPLAY="$display" HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
    ZYN_DATA_DIR="$data" GALLIUM_DRIVER=softpipe ASAN_OPTIONS=detect_leaks=0 \
    XSECURELOCK_SAVER="$module" XSECURELOCK_NO_COMPOSITE=1 XSECURELOCK_BLANK_TIMEOUT=-1 \
    xsecurelock >"$work/locker.log" 2>&1 &
locker_pid=$!
stop_pids=$locker_pid

pid=""
for _ in $(seq 600); do
    kill -0 "$locker_pid" 2>/dev/null || fail "xsecurelock ended: $(tail -n 5 "$work/locker.log")"
    pid=$(e2e_hack_pids "$work" zyn-screensaver | head -n 1)
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
e2e_wait_gone "$pid" 5 || fail "the saver outlived the locker by 5 s"
wait "$locker_pid" 2>/dev/null || true
stop_pids=""
[ -f "$work/stats.txt" ] || fail "the saver did not end cleanly (no stats written): $(tail -n 5 "$work/locker.log")"
frames=$(e2e_frames "$work/stats.txt")
echo "the saver drew $frames frames into xsecurelock's window"
[ "$frames" -gt 10 ] || fail "only $frames frames drawn"
exit 0
