#!/usr/bin/env bash
# How long a GO holds the show's thread when the cue's file is on a slow file system
# (bench_slow_go): a folder seen through bench/slowfs.py, which makes every stat, open and read
# wait the given time, on a private PulseAudio. Needs root (or FUSE allowed), fusermount3 and
# python3-fuse (apt-get install fuse3 python3-fuse). Builds the Release benchmark.
# Usage: bench/slow_go.sh [delay ms per call, default 20] [runs, default 5]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${BUILD_DIR:-$root/build/release-bench}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRELMO_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_slow_go >/dev/null
work=$(mktemp -d)
mkdir "$work/files" "$work/slow"
pid=""
cleanup() {
    if [ -n "$pid" ]; then
        fusermount3 -u "$work/slow" 2>/dev/null || true
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
/usr/bin/python3 "$root/bench/slowfs.py" "$work/files" "$work/slow" "${1:-20}" \
    >"$work/slowfs.log" 2>&1 &
pid=$!
for _ in $(seq 100); do mountpoint -q "$work/slow" && break; sleep 0.1; done
mountpoint -q "$work/slow" || { cat "$work/slowfs.log" >&2; exit 1; }
echo "every call on the slow folder waits ${1:-20} ms"
"$root/bench/with-pulse.sh" "$build/bench/bench_slow_go" "$work/files" "$work/slow" "${2:-5}"
