# Sourced by the e2e scripts. trelmo_windows PID: the ids of the process's visible windows titled
# "Trelmo", one a line, waiting up to 30 s for one; fails when none appears. Polled: xdotool gives
# up on an X error when another program's window goes meanwhile.
trelmo_windows() {
    local shown
    for _ in $(seq 300); do
        shown=$(xdotool search --all --onlyvisible --pid "$1" --name '^Trelmo$' 2>/dev/null) &&
            [ -n "$shown" ] && { echo "$shown"; return 0; }
        sleep 0.1
    done
    return 1
}
