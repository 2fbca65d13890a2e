#!/bin/sh
# End to end under mate-screensaver on a private Xvfb server and D-Bus
# session: the daemon looks the theme up by the id the README gives, finds
# the desktop entry a /usr install writes, runs its Exec line with
# XSCREENSAVER_WINDOW set when asked to blank, and stops the hack when asked
# to unblank. The daemon runs only programs in its hack folders (the Exec
# line's folder must be one of them, /usr/libexec/xscreensaver among them):
# the test runs in a private mount namespace, where a folder holding a
# stand-in for the installed hack, a wrapper naming the build tree's hack,
# is mounted over that folder.
# Usage: mate-screensaver-e2e.sh HACK DATA_DIR ENTRY. Exit 77 when it cannot
# run here.
set -eu
. "$(cd "$(dirname "$0")" && pwd)/e2e-common.sh"

hack=$(readlink -f "$1")
data=$2
entry=$3
e2e_need Xvfb mate-screensaver mate-screensaver-command dbus-daemon gsettings unshare mount xwininfo xwd python3
[ -f "$data/RezAduva.pac" ] || skip "no RezAduva.pac in $data"
exec_line=$(sed -n 's/^Exec=//p' "$entry")
program=${exec_line%% *}
engines=$(dirname "$program")
[ -d "$engines" ] || skip "no $engines to mount the hack's stand-in over"
if [ -z "${ZYN_E2E_IN_NAMESPACE:-}" ]; then
    # Without root, a user namespace grants the mount; the bus, the daemon
    # and the commands then all share it, so that their uids agree.
    if [ "$(id -u)" -eq 0 ]; then
        ns="unshare --mount --propagation private"
    else
        ns="unshare --user --map-root-user --mount --propagation private"
    fi
    $ns true 2>/dev/null || skip "cannot make a private mount namespace with $ns"
    ZYN_E2E_IN_NAMESPACE=1 exec $ns "$0" "$@"
fi

e2e_begin mate-e2e 640 480
home="$work/home"
mkdir -p "$home" "$work/engines" "$work/share/applications/screensavers"
cp "$entry" "$work/share/applications/screensavers/zyn-screensaver.desktop"
# The daemon passes on only a few variables: what a sanitizer build needs is
# set here.
printf '#!/bin/sh\nASAN_OPTIONS=detect_leaks=0 exec "%s" --data "%s" --stats "%s/stats.txt" "$@"\n' \
    "$hack" "$data" "$home" >"$work/engines/$(basename "$program")"
chmod 755 "$work/engines/$(basename "$program")"
mount --bind "$work/engines" "$engines" || fail "cannot mount over $engines"

# A private session bus; the settings in a key file that every process of
# the test reads (dconf would need its own service on that bus).
dbus-daemon --session --nofork --nopidfile --print-address=4 4>"$work/bus" >/dev/null 2>&1 &
stop_pids=$!
for _ in $(seq 150); do
    [ -s "$work/bus" ] && break
    sleep 0.1
done
[ -s "$work/bus" ] || fail "the session bus did not start within 15 s"
set -- env HOME="$home" DISPLAY="$display" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" \
    XDG_DATA_DIRS="$work/share:/usr/share" DBUS_SESSION_BUS_ADDRESS="$(head -n 1 "$work/bus")" \
    GSETTINGS_BACKEND=keyfile NO_AT_BRIDGE=1
"$@" gsettings set org.mate.screensaver mode single
"$@" gsettings set org.mate.screensaver themes "['screensavers-zyn-screensaver']"
# A lock would start the unlock dialog, which needs a login to check.
"$@" gsettings set org.mate.screensaver lock-enabled false

# A plain command, so that the process started is the daemon itself.
"$@" mate-screensaver --no-daemon --debug >"$work/daemon.log" 2>&1 &
daemon_pid=$!
stop_pids="$daemon_pid $stop_pids"
ready=""
for _ in $(seq 150); do
    kill -0 "$daemon_pid" 2>/dev/null || fail "the daemon did not start: $(tail -n 5 "$work/daemon.log")"
    if "$@" mate-screensaver-command --query >/dev/null 2>&1; then
        ready=yes
        break
    fi
    sleep 0.1
done
[ -n "$ready" ] || fail "the daemon did not answer within 15 s: $(tail -n 5 "$work/daemon.log")"
[ -z "$(e2e_hack_pids "$home" "$hack")" ] || fail "a hack runs before blanking"

"$@" mate-screensaver-command --activate >/dev/null
pid=""
for _ in $(seq 150); do
    pid=$(e2e_hack_pids "$home" "$hack" | head -n 1)
    [ -n "$pid" ] && break
    sleep 0.1
done
# The daemon logs the command it found for the theme, or why it has none.
[ -n "$pid" ] || fail "the daemon did not start the hack within 15 s: $(grep -E "theme|command|job" "$work/daemon.log" | tail -n 5)"
grep -qF "Setting command for job: '$exec_line'" "$work/daemon.log" ||
    fail "the daemon did not take the entry's Exec line: $(grep "Setting command" "$work/daemon.log")"
e2e_host_window "$pid" mate-screensaver

# Drawing: the scene lights the daemon's window all over, frame after frame.
stats="$home/stats.txt"
e2e_wait_lit "$pid" "$work/daemon.log" "$stats"

# What is left now the hack writes at its clean exit.
rm -f "$stats"
"$@" mate-screensaver-command --deactivate >/dev/null
e2e_wait_gone "$pid" 15 || fail "the hack outlived the unblanking by 15 s"
kill -0 "$daemon_pid" 2>/dev/null || fail "the daemon ended with the hack: $(tail -n 5 "$work/daemon.log")"
[ -f "$stats" ] || fail "the hack did not end cleanly (no stats written)"
frames=$(e2e_frames "$stats")
echo "the hack drew $frames frames and ended when the daemon unblanked"
[ "$frames" -gt 10 ] || fail "only $frames frames drawn"
exit 0
