#!/usr/bin/env bash
# Trigger to sound of `trelmo play 1` as a later launch against a running first instance,
# side by side with `paplay` of the same file on the same sink (bench_remote_trigger). Builds a
# Release configuration of its own. Usage: bench/remote_trigger.sh [runs, default 30]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${BUILD_DIR:-$root/build/release-bench}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRELMO_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target trelmo bench_remote_trigger >/dev/null
"$root/bench/with-pulse.sh" "$root/bench/with-first-instance.sh" "$build" bash -c \
    "'$build/bench/bench_remote_trigger' \"\$TRELMO\" \"\$CUE_FILE\" ${1:-30} out1"
