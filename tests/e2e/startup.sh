#!/usr/bin/env bash
# Starts a copy of the program in a fresh folder, waits for its window, ends it the way a
# session end does (SIGTERM) and checks that it exits with 0.
set -euo pipefail
program=$1
. "$(dirname "$0")/program-copy.sh"
. "$(dirname "$0")/trelmo-windows.sh"
trap 'rm -rf "$top"' EXIT

"$dir/trelmo" & pid=$!
if ! trelmo_windows "$pid" >/dev/null; then
    echo "no Trelmo window appeared"; kill -9 "$pid"; exit 1
fi
kill -TERM "$pid"
set +e
timeout 30 tail --pid="$pid" -f /dev/null
wait "$pid"; code=$?
set -e
[ "$code" -eq 0 ] || { echo "exit code $code"; exit 1; }
echo "window shown, ended with exit code 0"
