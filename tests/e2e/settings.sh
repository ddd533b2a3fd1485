#!/usr/bin/env bash
# Runs copies of the program as a user would and checks Settings.xml next to the executable:
# a session end (SIGTERM, SIGHUP) writes the default document; a malformed file shows the
# message box, is kept under a new name and replaced by the document of the run.
set -euo pipefail
program=$1
. "$(dirname "$0")/program-copy.sh"
. "$(dirname "$0")/trelmo-windows.sh"
pid=""
trap '[ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; rm -rf "$top"' EXIT

printf '%s\r\n' '<?xml version="1.0" encoding="UTF-8"?>' '<Production>' '  <Windows>' \
    '    <Main Top="100" Left="100" Height="400" Width="600"/>' '  </Windows>' '  <CueList/>' \
    >"$dir/expected"
printf '%s' '</Production>' >>"$dir/expected"

fail() { echo "$1"; exit 1; }

visible_windows() { trelmo_windows "$pid"; }

end_with() {
    kill -"$1" "$pid"
    timeout 30 tail --pid="$pid" -f /dev/null || fail "the program did not end after SIG$1"
    set +e
    wait "$pid"; local code=$?
    set -e
    pid=""
    [ "$code" -eq 0 ] || fail "exit code $code"
}

# First run: no file; a session end writes the defaults.
"$dir/trelmo" & pid=$!
visible_windows >/dev/null || fail "no Trelmo window appeared"
end_with TERM
cmp "$dir/Settings.xml" "$dir/expected" || fail "Settings.xml after SIGTERM is not the default document"
echo "session end wrote the default document"

# A malformed file: the box comes first (before the main window), Return closes it.
printf '<Production><Windows></Production>' >"$dir/Settings.xml"
cp "$dir/Settings.xml" "$dir/malformed"
"$dir/trelmo" & pid=$!
box=$(visible_windows | head -n1) || fail "no message box appeared"
[ -n "$box" ] || fail "no message box appeared"
xdotool windowfocus --sync "$box" key --clearmodifiers Return
main=""
for _ in $(seq 300); do
    main=$(xdotool search --all --onlyvisible --pid "$pid" --name '^Trelmo$' 2>/dev/null | grep -vx "$box" | head -n1 || true)
    [ -n "$main" ] && break
    sleep 0.1
done
[ -n "$main" ] || fail "the main window did not appear after the message box"
cmp "$dir/Settings.xml" "$dir/malformed" || fail "Settings.xml was changed at start-up"
end_with TERM
cmp "$dir/Settings-unreadable-1.xml" "$dir/malformed" || fail "the malformed file was not kept"
cmp "$dir/Settings.xml" "$dir/expected" || fail "Settings.xml was not rewritten at close"
echo "malformed file reported, kept as Settings-unreadable-1.xml and replaced"

# Log-off (SIGHUP) saves too.
rm "$dir/Settings.xml"
"$dir/trelmo" & pid=$!
visible_windows >/dev/null || fail "no Trelmo window appeared"
end_with HUP
cmp "$dir/Settings.xml" "$dir/expected" || fail "Settings.xml after SIGHUP is not the default document"
echo "SIGHUP wrote the default document"
