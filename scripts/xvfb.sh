# Sourced by the scripts that need a private X server.
#
# start_xvfb WORK WIDTH HEIGHT: starts Xvfb on a display it picks itself
# (its number is written to WORK/display) and sets xvfb_pid and display.
# Returns 1 when the server is not ready within 10 seconds.
start_xvfb() {
    exec 3>"$1/display"
    Xvfb -displayfd 3 -screen 0 "${2}x${3}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
    xvfb_pid=$!
    exec 3>&-
    for _ in $(seq 100); do
        [ -s "$1/display" ] && break
        sleep 0.1
    done
    [ -s "$1/display" ] || return 1
    display=":$(head -n 1 "$1/display")"
}
