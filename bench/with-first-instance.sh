#!/usr/bin/env bash
# Runs a command next to a running first instance of Trelmo, as on a show machine: its own
# display, the private sound server of bench/with-pulse.sh (run this inside it), and a cue list
# whose cue 1 plays a short signature on the default sink. Waits until the window is shown, runs
# the command with TRELMO (the program) and CUE_FILE set, then ends the instance by its pid.
# Usage: bench/with-first-instance.sh <build dir> <command...>
set -euo pipefail
build=$1
shift
work=$(mktemp -d)
pids=()
# The instance first, then its display.
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[$i]}" 2>/dev/null || true
        wait "${pids[$i]}" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
exec 3>&-
export DISPLAY=":$(cat "$work/display")"

# The program laid out as installed, in a folder of its own (its own registry and settings).
mkdir -p "$work/bin" "$work/lib"
cp "$build/bin/trelmo" "$work/bin/trelmo"
cp -r "$build/lib/trelmo" "$work/lib/trelmo"
export TRELMO="$work/bin/trelmo" CUE_FILE="$work/signature.wav"
"$build/bench/bench_remote_trigger" --write-signature "$CUE_FILE"
printf '%s\r\n' '<?xml version="1.0" encoding="UTF-8"?>' '<Production>' '  <Windows>' \
    '    <Main Top="100" Left="100" Height="400" Width="600"/>' '  </Windows>' '  <CueList>' \
    '    <Cue>' '      <UID>1</UID>' '      <Description>Signature</Description>' \
    "      <FileName>$CUE_FILE</FileName>" '      <AudioChannel>1</AudioChannel>' \
    '      <Volume-dB>0</Volume-dB>' '      <Pan>0</Pan>' '      <Pitch>100</Pitch>' \
    '      <Loop>0</Loop>' '    </Cue>' '  </CueList>' >"$work/bin/Settings.xml"
printf '%s' '</Production>' >>"$work/bin/Settings.xml"

"$TRELMO" & first=$!
pids+=("$first")
timeout 30 xdotool search --sync --all --onlyvisible --pid "$first" --name '^Trelmo$' >/dev/null ||
    { echo "the first instance showed no window"; exit 1; }
"$@"
kill -0 "$first" || { echo "the first instance ended during the run"; exit 1; }
