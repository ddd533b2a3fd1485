#!/usr/bin/env bash
# Installs the build into a fresh prefix with `cmake --install`, starts the installed program,
# waits for its window, forwards a command to it with a second launch and ends it the way a
# session end does: the installed layout (bin/trelmo, lib/trelmo/) works on its own.
set -euo pipefail
. "$(dirname "$0")/trelmo-windows.sh"
build=$1
prefix=$(mktemp -d)
pid=""
trap '[ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; rm -rf "$prefix"' EXIT
fail() { echo "$1"; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
[ -x "$prefix/bin/trelmo" ] || fail "no bin/trelmo installed"
[ -f "$prefix/lib/trelmo/libtrelmo-app.so" ] || fail "no lib/trelmo/libtrelmo-app.so installed"
export XDG_RUNTIME_DIR="$prefix/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

"$prefix/bin/trelmo" & pid=$!
trelmo_windows "$pid" >/dev/null || fail "the installed program showed no window"
"$prefix/bin/trelmo" stop 1 || fail "a forwarding launch of the installed program ended with $?"
kill -TERM "$pid"
timeout 30 tail --pid="$pid" -f /dev/null || fail "the installed program did not end"
code=0
wait "$pid" || code=$?
pid=""
[ "$code" -eq 0 ] || fail "exit code $code"
echo "installed program started, took a command and ended with 0"
