#!/usr/bin/env bash
# Drives a copy of the program on a private display with a window manager and a tray host:
# minimising hides the window and shows the icon, a double click on the icon or the menu's
# Restore brings the window back where it was, so does a later launch without arguments (one
# with arguments does not), and a session end (SIGTERM) or the menu's Exit while in the tray
# ends the program with 0; closing and reopening, also after a move, brings the window back
# exactly where it was.
set -euo pipefail
program=$1
. "$(dirname "$0")/program-copy.sh"
. "$(dirname "$0")/openbox-display.sh"
trayer --edge bottom --align right >/dev/null 2>&1 &
pids+=($!)
wait_for xdotool search --class trayer || fail "no tray host"

# Waits up to 30 s for the program to end and checks its exit code.
ends_with_zero() {
    timeout 30 tail --pid="$pid" -f /dev/null || true
    kill -0 "$pid" 2>/dev/null && fail "still running 30 s after $1"
    local code=0
    wait "$pid" || code=$?
    [ "$code" -eq 0 ] || fail "exit code $code after $1"
}

# Waits up to 2 s for a command to succeed.
wait_briefly() {
    for _ in $(seq 20); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    return 1
}

# Clicks the icon (button, count) until a condition holds, at most 10 times: a click that comes
# while the tray host is still taking the icon in gets lost.
click_icon_until() {
    local condition=$1 button=$2 count=$3
    for _ in $(seq 10); do
        xdotool mousemove --window "$(icon)" 5 5 click --repeat "$count" --delay 80 "$button"
        wait_briefly "$condition" && return 0
    done
    return 1
}

# Opens the icon's menu with a right click and picks its first or last item.
menu_item() {
    click_icon_until menu_window 3 1 || fail "no menu on a right click"
    local info x y h
    info=$(xwininfo -id "$(menu_window)")
    x=$(awk '/Absolute upper-left X/ {print $4}' <<<"$info")
    y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$info")
    h=$(awk '/Height/ {print $2}' <<<"$info")
    if [ "$1" = first ]; then y=$((y + 12)); else y=$((y + h - 12)); fi
    xdotool mousemove "$((x + 20))" "$y" sleep 0.3 click 1
}
menu_window() {
    for w in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
        [ "$w" != "$main" ] && [ "$w" != "$(icon)" ] && echo "$w" && return 0
    done
    return 1
}

"$dir/trelmo" & pid=$!
pids+=("$pid")
main=$(timeout 30 xdotool search --sync --onlyvisible --pid "$pid" --name '^Trelmo$' | head -1) ||
    fail "no Trelmo window appeared"
map_state() { xwininfo -id "$main" | awk '/Map State/ {print $3}'; }
geometry() { xdotool getwindowgeometry "$main" | tail -n +2; }
# Tray icons are the program's windows that the tray host has taken in.
icon() {
    for w in $(xdotool search --pid "$pid" 2>/dev/null); do
        [ "$w" = "$main" ] && continue
        parent=$(xwininfo -children -id "$w" | awk '/Parent window id/ {print $5}')
        [ "$parent" != "(the" ] && xwininfo -id "$w" | grep -q IsViewable && echo "$w" && return 0
    done
    return 1
}
# The window manager's list of client windows is what task bars show.
in_task_list() { [[ "$(xprop -root _NET_CLIENT_LIST)" == *"$(printf '0x%x' "$main")"* ]]; }
no_icon() { ! icon >/dev/null; }
mapped() { [ "$(map_state)" = IsViewable ]; }
unmapped() { [ "$(map_state)" = IsUnMapped ]; }
wait_for mapped || fail "window not mapped"
in_task_list || fail "the window is not in the window manager's task list"
[[ "$(xprop -id "$main" _NET_WM_ICON)" == *"Icon ("* ]] || fail "the window has no icon"
sleep 1
icon >/dev/null && fail "an icon is shown while the window is on screen"
before=$(geometry)

xdotool windowminimize "$main"
wait_for unmapped || fail "window still mapped after minimising"
wait_for icon || fail "no icon after minimising"
in_task_list && fail "the window is still in the window manager's task list"

click_icon_until mapped 1 2 || fail "double click did not bring the window back"
wait_for no_icon || fail "icon still shown after restoring"
in_task_list || fail "the restored window is not in the task list"
[ "$(geometry)" = "$before" ] || fail "window moved: $before -> $(geometry)"

xdotool windowminimize "$main"
wait_for icon || fail "no icon after the second minimise"
menu_item first
wait_for mapped || fail "the menu's Restore did not bring the window back"
wait_for no_icon || fail "icon still shown after the menu's Restore"

# A launch with arguments (a remote trigger) leaves the window in the tray; one without (the
# operator starting Trelmo again) brings it back to the front.
xdotool windowminimize "$main"
wait_for icon || fail "no icon before the later launches"
"$dir/trelmo" stop 1 || fail "the launch with arguments ended with $?"
unmapped || fail "a launch with arguments brought the window back"
[ "$(xdotool getactivewindow 2>/dev/null)" = "$main" ] && fail "a launch with arguments took the focus"
"$dir/trelmo" || fail "the launch without arguments ended with $?"
wait_for mapped || fail "a launch without arguments did not bring the window back"
wait_for no_icon || fail "icon still shown after a launch without arguments"
wait_for sh -c "[ \"\$(xdotool getactivewindow)\" = $main ]" ||
    fail "a launch without arguments did not make the window the active one"

xdotool windowminimize "$main"
wait_for icon || fail "no icon after the third minimise"
kill -TERM "$pid"
ends_with_zero "SIGTERM in the tray"

"$dir/trelmo" & pid=$!
pids+=("$pid")
main=$(timeout 30 xdotool search --sync --onlyvisible --pid "$pid" --name '^Trelmo$' | head -1) ||
    fail "no Trelmo window appeared the second time"
xdotool windowminimize "$main"
wait_for icon || fail "no icon after minimising the second copy"
menu_item last
ends_with_zero "the menu's Exit"
echo "tray: minimise, double click, Restore, later launches, SIGTERM and Exit behave"

# Closing and reopening brings the window back exactly where it was, round after round, under a
# window manager that draws a frame and a title bar.
saved_position() {
    sed -n 's/.*<Main Top="\([-0-9]*\)" Left="\([-0-9]*\)".*/\1 \2/p' "$dir/Settings.xml"
}
# Runs the program once, optionally moving its window first; `record` receives the position
# saved at the close together with where the window stood.
run_round() {
    "$dir/trelmo" & pid=$!
    pids+=("$pid")
    main=$(timeout 30 xdotool search --sync --onlyvisible --pid "$pid" --name '^Trelmo$' | head -1) ||
        fail "no Trelmo window appeared"
    wait_for mapped || fail "window not mapped"
    if [ -n "${1:-}" ]; then
        xdotool windowmove --sync "$main" $1
    fi
    local on_screen
    on_screen=$(geometry)
    kill -TERM "$pid"
    ends_with_zero "SIGTERM"
    record="$(saved_position) at ${on_screen//$'\n'/ }"
}
# Every round must give the first one's record.
same_rounds() {
    local rounds=$1 move=${2:-} first
    run_round "$move"
    first=$record
    for _ in $(seq 2 "$rounds"); do
        run_round
        [ "$record" = "$first" ] || fail "the window moved between rounds: [$first] -> [$record]"
    done
}
same_rounds 4
echo "close and reopen: the window comes back where it was ($record)"
same_rounds 3 "300 200"
echo "moved, closed and reopened: it comes back where it was moved to ($record)"
