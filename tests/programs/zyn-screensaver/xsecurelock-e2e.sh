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
e2e_host_window "$pid" xsecurelock

# Drawing: the scene lights the locker's window all over.
e2e_wait_lit "$pid" "$work/locker.log"

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
