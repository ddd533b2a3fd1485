#!/usr/bin/env bash
# Trigger to sound per file format (bench_format_latency): GO by Space, OSC /cue/N/start and
# `trelmo play N` of the armed standby cue, OSC of a cue that is not armed, paplay and the floor,
# first on a private PulseAudio, then on a private PipeWire. Builds the Release benchmarks.
# Usage: bench/format_latency.sh [runs, default 10]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${BUILD_DIR:-$root/build/release-bench}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRELMO_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target trelmo bench_format_latency >/dev/null
run="xvfb-run -a -s '-screen 0 1280x1024x24' '$build/bench/bench_format_latency' ${1:-10} out1"
echo "PulseAudio"
"$root/bench/with-pulse.sh" bash -c "$run"
echo "PipeWire"
"$root/scripts/pipewire-server" run bash -c "$run"
