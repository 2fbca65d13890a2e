#!/bin/sh
# End to end under the real daemon: XScreenSaver on a private Xvfb server runs
# zyn-screensaver from a ~/.xscreensaver "GL:" programs line, labelled as the
# README writes it, when asked to blank, and stops it when asked to unblank.
# The hack must get the daemon's window, draw frames, and be gone promptly
# afterwards.
# Usage: xscreensaver-e2e.sh HACK DATA_DIR. Exit 77 when it cannot run here.
set -eu
. "$(cd "$(dirname "$0")" && pwd)/e2e-common.sh"

hack=$1
data=$2
e2e_need Xvfb xscreensaver xscreensaver-command
[ -f "$data/RezAduva.pac" ] || skip "no RezAduva.pac in $data"

# The daemon refuses to launch hacks as root: run it as nobody then.
as_user=""
if [ "$(id -u)" -eq 0 ]; then
    command -v setpriv >/dev/null || skip "running as root without setpriv"
    id nobody >/dev/null 2>&1 || skip "running as root without a nobody user"
    as_user="setpriv --reuid=nobody --regid=$(id -g nobody) --clear-groups"
fi

e2e_begin xss-e2e 640 480

home="$work/home"
mkdir -p "$home"
cat >"$home/.xscreensaver" <<EOF
mode:		one
selected:	0
timeout:	1:00:00
splash:		False
fade:		False
unfade:		False
programs:	GL: "Zyn Temple" $hack --root --data $data --stats $home/stats.txt \\n
EOF
[ -n "$as_user" ] && chown -R nobody "$home"

set -- env HOME="$home" DISPLAY="$display" XDG_CONFIG_HOME="$home/config" XDG_STATE_HOME="$home/state" \
    GALLIUM_DRIVER=softpipe ASAN_OPTIONS=detect_leaks=0
run_as() {
    # shellcheck disable=SC2086
    $as_user "$@"
}

# A plain command, so that the process started is the daemon itself (each
# of setpriv and env execs the next) and can be stopped by its pid.
# shellcheck disable=SC2086
$as_user "$@" xscreensaver -no-splash -verbose >"$work/daemon.log" 2>&1 &
daemon_pid=$!
stop_pids=$daemon_pid
# Ready once it answers a command; a busy machine may take a while.
ready=""
for _ in $(seq 600); do
    kill -0 "$daemon_pid" 2>/dev/null || fail "the daemon did not start: $(tail -n 5 "$work/daemon.log")"
    if run_as "$@" xscreensaver-command -time >/dev/null 2>&1; then
        ready=yes
        break
    fi
    sleep 0.1
done
[ -n "$ready" ] || fail "the daemon did not answer within 60 s: $(tail -n 5 "$work/daemon.log")"
[ -z "$(e2e_hack_pids "$home" "$(readlink -f "$hack")")" ] || fail "a hack runs before blanking"

run_as "$@" xscreensaver-command -activate >/dev/null
pid=""
for _ in $(seq 300); do
    pid=$(e2e_hack_pids "$home" "$(readlink -f "$hack")" | head -n 1)
    [ -n "$pid" ] && break
    sleep 0.1
done
[ -n "$pid" ] || fail "the daemon did not launch the hack: $(tail -n 5 "$work/daemon.log")"
tr '\0' '\n' <"/proc/$pid/environ" | grep -q '^XSCREENSAVER_WINDOW=0x' ||
    fail "the hack got no XSCREENSAVER_WINDOW"
echo "the daemon launched the hack as pid $pid"

# Let it start up (the art is decoded first) and draw a few frames: its
# stats file follows the run once a second. A busy machine may take long.
stats="$home/stats.txt"
drawn=0
for _ in $(seq 1200); do
    kill -0 "$pid" 2>/dev/null || fail "the hack ended on its own: $(tail -n 5 "$work/daemon.log")"
    drawn=$(e2e_frames "$stats")
    [ "${drawn:-0}" -gt 10 ] && break
    sleep 0.1
done
[ "${drawn:-0}" -gt 10 ] || fail "the hack drew ${drawn:-no} frames in 120 s"

# What is left now the hack writes at its clean exit.
rm -f "$stats"
run_as "$@" xscreensaver-command -deactivate >/dev/null
# Promptness is measured by bench/stop-time.sh; here a busy machine gets a
# generous deadline.
e2e_wait_gone "$pid" 20 || fail "the hack outlived the unblanking by 20 s"

[ -f "$stats" ] || fail "the hack did not end cleanly (no stats written)"
frames=$(e2e_frames "$stats")
echo "the hack drew $frames frames and ended when the daemon unblanked"
[ "$frames" -gt 10 ] || fail "only $frames frames drawn"
if grep -q "zyn-screensaver.*\(crashed\|dumped core\|signal\)" "$work/daemon.log"; then
    fail "the daemon reports: $(grep "zyn-screensaver" "$work/daemon.log" | tail -n 3)"
fi
exit 0
