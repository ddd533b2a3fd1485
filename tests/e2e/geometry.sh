#!/usr/bin/env bash
# Runs a copy of the program on a private display with a window manager that draws a frame and
# a title bar, each time through the start-up box about a missing sound server: the window comes
# back where it was, run after run; a window maximised with a double click on its title bar comes
# back maximised, and unmaximised it returns to where it was before.
set -euo pipefail
program=$1
. "$(dirname "$0")/program-copy.sh"
. "$(dirname "$0")/openbox-display.sh"
export PULSE_SERVER="unix:$dir/no-sound-server"

document() {
    printf '%s\r\n' '<?xml version="1.0" encoding="UTF-8"?>' '<Production>' '  <Windows>' \
        "    <Main Top=\"130\" Left=\"140\" Height=\"450\" Width=\"700\"$1/>" '  </Windows>' \
        '  <CueList/>'
    printf '%s' '</Production>'
}
document "" >"$dir/normal"
document ' Maximized="-1"' >"$dir/maximised"

# Starts the program, answers the box about the sound server and sets main to its window.
start() {
    "$dir/trelmo" & pid=$!
    pids+=("$pid")
    local box
    box=$(timeout 30 xdotool search --sync --onlyvisible --pid "$pid" --name '^Trelmo$' | head -1) ||
        fail "no box about the sound server appeared"
    xdotool windowfocus --sync "$box" key --clearmodifiers Return
    main=""
    for _ in $(seq 300); do
        main=$(xdotool search --onlyvisible --pid "$pid" --name '^Trelmo$' 2>/dev/null | grep -vx "$box" | head -1 || true)
        [ -n "$main" ] && break
        sleep 0.1
    done
    [ -n "$main" ] || fail "the main window did not appear after the box"
}
# Ends the program as a session end does; it saves on the way.
stop() {
    kill -TERM "$pid"
    timeout 30 tail --pid="$pid" -f /dev/null || fail "the program did not end after SIGTERM"
    local code=0
    wait "$pid" || code=$?
    [ "$code" -eq 0 ] || fail "exit code $code"
}
maximised() { xprop -id "$main" _NET_WM_STATE | grep -q _NET_WM_STATE_MAXIMIZED_HORZ; }
normal() { ! maximised; }
size() { xdotool getwindowgeometry "$main" | awk '/Geometry/ {print $2}'; }
size_is() { [ "$(size)" = "$1" ]; }
# openbox maximises and restores a window on a double click on its title bar.
toggle_maximised() { xdotool mousemove --window "$main" 100 -10 click --repeat 2 --delay 80 1; }
same_file() { cmp -s "$dir/Settings.xml" "$dir/$1" || fail "$2: $(cat "$dir/Settings.xml")"; }

cp "$dir/normal" "$dir/Settings.xml"
for round in 1 2 3; do
    start
    wait_for normal || fail "round $round: the window is maximised"
    stop
    same_file normal "round $round: the window did not come back where it was"
done
echo "through the sound-server box, the window comes back where it was, run after run"

start
toggle_maximised
wait_for maximised || fail "the double click did not maximise the window"
stop
same_file maximised "the maximised window was not saved with the place it returns to"
start
wait_for maximised || fail "the maximised window came back unmaximised"
[ "$(size)" != 700x450 ] || fail "the maximised window has its normal size"
toggle_maximised
wait_for normal || fail "the double click did not restore the window"
wait_for size_is 700x450 || fail "the restored window is $(size), not 700x450"
stop
same_file normal "the restored window was not saved where it was before"
echo "a maximised window comes back maximised and returns to its place when restored"
