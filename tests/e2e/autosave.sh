#!/usr/bin/env bash
# Runs a copy of the program as a user would: cells typed into (a description, a fade time)
# reach Settings.xml about a second later, so a program killed with SIGKILL has them at its next
# start; a session end (SIGTERM) while a cue plays ends the program at once, without asking; a
# second copy of the program whose Settings.xml links to the first's says who holds it and never
# saves over the first's edits.
set -euo pipefail
program=$1
. "$(dirname "$0")/program-copy.sh"
. "$(dirname "$0")/trelmo-windows.sh"
pid=""
second=""
trap '[ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; [ -n "$second" ] && kill -9 "$second" 2>/dev/null; rm -rf "$top"' EXIT

fail() { echo "$1"; exit 1; }

le32() {
    printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $((($1 >> 8) & 255)) \
        $((($1 >> 16) & 255)) $((($1 >> 24) & 255)))"
}

# Five seconds of stereo silence, 16 bits at 44100 Hz.
write_wav() {
    local bytes=$((44100 * 4 * 5))
    {
        printf 'RIFF'; le32 $((36 + bytes)); printf 'WAVEfmt '; le32 16
        printf '\x01\x00\x02\x00'; le32 44100; le32 $((44100 * 4)); printf '\x04\x00\x10\x00'
        printf 'data'; le32 "$bytes"; head -c "$bytes" /dev/zero
    } >"$1"
}

# Waits up to 30 s for a command to succeed.
wait_for() {
    for _ in $(seq 300); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

main_window() { trelmo_windows "$pid" | head -n1; }

saved() { has Thunder && grep -q '<FadeOut>25</FadeOut>' "$dir/Settings.xml"; }
has() { grep -q "<Description>$1</Description>" "$dir/Settings.xml"; }
stream_playing() { [ -n "$(pactl list short sink-inputs 2>/dev/null)" ]; }

write_wav "$dir/bell.wav"
printf '%s' '<?xml version="1.0" encoding="UTF-8"?><Production><Windows>' \
    '<Main Top="100" Left="100" Height="400" Width="600"/></Windows><CueList><Cue>' \
    "<UID>1</UID><Description>Bell</Description><FileName>$dir/bell.wav</FileName>" \
    '<Loop>-1</Loop></Cue></CueList></Production>' >"$dir/Settings.xml"

# The grid has the keyboard, on the description of cue 1: Enter opens it with its text
# selected, typing replaces it. End goes to the last column, Continue; Fade Out is three to its
# left.
"$dir/trelmo" & pid=$!
window=$(main_window) && [ -n "$window" ] || fail "no Trelmo window appeared"
xdotool windowfocus --sync "$window" key --clearmodifiers Return
xdotool type --delay 20 'Thunder'
xdotool key --clearmodifiers Return End Left Left Left Return
xdotool type --delay 20 '2.5'
xdotool key --clearmodifiers Return
wait_for saved || fail "the typed description and fade time did not reach Settings.xml"
kill -9 "$pid"
wait "$pid" 2>/dev/null || true
pid=""
saved || fail "Settings.xml lost the changes when the program was killed"
ls "$dir" | grep -q '\.tmp-' && fail "a temporary file was left behind"
echo "a typed description and fade time were saved before the program was killed"

# Started again: the change is there, and a session end while the cue plays does not ask.
"$dir/trelmo" & pid=$!
[ -n "$(main_window)" ] || fail "no Trelmo window appeared after the restart"
"$dir/trelmo" play 1 || fail "play 1 was not forwarded"
wait_for stream_playing || fail "cue 1 did not start"
kill -TERM "$pid"
timeout 30 tail --pid="$pid" -f /dev/null || fail "the program did not end after SIGTERM while a cue played"
set +e
wait "$pid"; code=$?
set -e
pid=""
[ "$code" -eq 0 ] || fail "exit code $code"
saved || fail "the restarted program did not keep the saved description"
echo "the change was there after the restart; SIGTERM ended a playing show without asking"

# The first Trelmo holds the show; a copy of the program in another folder, which the instance
# check does not count as the same program, reaches the same show through a link, is told at
# start-up which process holds it, and its close writes nothing.
"$dir/trelmo" & pid=$!
window=$(main_window) && [ -n "$window" ] || fail "no Trelmo window appeared for the first"
xdotool windowfocus --sync "$window" key --clearmodifiers Return
xdotool type --delay 20 'Lightning'
xdotool key --clearmodifiers Return
wait_for has Lightning || fail "the first Trelmo did not save its edit"
mkdir "$top/copy" "$top/copy/bin"
cp "$dir/trelmo" "$top/copy/bin/trelmo"
ln -s "$top/lib" "$top/copy/lib"
ln -s "$dir/Settings.xml" "$top/copy/bin/Settings.xml"
"$top/copy/bin/trelmo" 2>"$top/second.err" & second=$!
wait_for grep -q "in use by another running Trelmo (process $pid)" "$top/second.err" ||
    fail "the second Trelmo did not say that process $pid holds the show"
second_box() {
    box=$(xdotool search --onlyvisible --pid "$second" --name '^Trelmo$' | grep -vx "$window" | head -n1)
    [ -n "$box" ]
}
wait_for second_box || fail "the second Trelmo showed no box"
xdotool windowfocus --sync "$box" key --clearmodifiers Return
xdotool windowfocus --sync "$window" key --clearmodifiers Return
xdotool type --delay 20 'Hail'
xdotool key --clearmodifiers Return
wait_for has Hail || fail "the first Trelmo did not save its later edit"
kill -TERM "$second"
timeout 30 tail --pid="$second" -f /dev/null || fail "the second Trelmo did not end after SIGTERM"
second=""
has Hail || fail "the second Trelmo saved over the first's edit"
kill -TERM "$pid"
timeout 30 tail --pid="$pid" -f /dev/null || fail "the first Trelmo did not end after SIGTERM"
pid=""
has Hail || fail "the first Trelmo lost its edit at the close"
echo "a second Trelmo on the same Settings.xml said who held it and did not save over it"
