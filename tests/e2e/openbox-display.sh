# Sourced by the e2e scripts after program-copy.sh: a private display with openbox, a window
# manager that draws frames and title bars, both stopped with the copy's folder at exit. Sets
# DISPLAY and XDG_RUNTIME_DIR, defines fail, wait_for (up to 20 s) and pids (what cleanup stops).
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
    rm -rf "$top"
}
trap cleanup EXIT
fail() { echo "$1"; exit 1; }

wait_for() {
    for _ in $(seq 200); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    return 1
}

exec 3>"$dir/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
wait_for test -s "$dir/display" || fail "no display"
exec 3>&-
export DISPLAY=":$(cat "$dir/display")"
unset DBUS_SESSION_BUS_ADDRESS
export XDG_RUNTIME_DIR="$dir"
chmod 700 "$dir"

openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
wait_for sh -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'" ||
    fail "no window manager"
