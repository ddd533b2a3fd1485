#!/usr/bin/env bash
# Show files opened as from a file manager (trelmo show-file): the first launch on one opens
# it; a later launch on another hands it to the running Trelmo, which opens it, and ends at once
# with 0; Settings.xml then names the show that was open.
set -euo pipefail
program=$1
. "$(dirname "$0")/program-copy.sh"
pid=""
trap '[ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; rm -rf "$top"' EXIT
fail() { echo "$1"; exit 1; }

# A show file holding one cue of that description.
write_show() {
    printf '%s' '<?xml version="1.0" encoding="UTF-8"?><Production><CueList><Cue>' \
        "<Description>$2</Description></Cue></CueList></Production>" >"$1"
}
window_named() {
    timeout 30 xdotool search --all --sync --onlyvisible --pid "$pid" --name "^$1 – Trelmo\$" \
        >/dev/null 2>&1
}

mkdir "$top/shows"
write_show "$top/shows/first.trelmo" "First"
write_show "$top/shows/second.trelmo" "Second"

"$dir/trelmo" "$top/shows/first.trelmo" & pid=$!
window_named first.trelmo || fail "the first launch did not open its show file"
# From a terminal in the show's folder: the running Trelmo gets the full path.
(cd "$top/shows" && timeout 30 "$dir/trelmo" second.trelmo) || fail "the later launch failed: $?"
window_named second.trelmo || fail "the running Trelmo did not open the forwarded show file"

kill -TERM "$pid"
set +e
timeout 30 tail --pid="$pid" -f /dev/null
wait "$pid"; code=$?
set -e
pid=""
[ "$code" -eq 0 ] || fail "exit code $code"
grep -q "<ShowFile>$top/shows/second.trelmo</ShowFile>" "$dir/Settings.xml" \
    || fail "Settings.xml does not name the open show: $(cat "$dir/Settings.xml")"
grep -q "<Description>Second</Description>" "$top/shows/second.trelmo" || fail "the show file lost its cue"
echo "show files open on the first launch and from later launches"
