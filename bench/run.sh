#!/usr/bin/env bash
# Builds the benchmarks in Release (build/release-bench) and runs them against a private sound
# server started for the run.
# Usage: bench/run.sh [latency runs] [load seconds] [OSC runs] [control runs] [dropout seconds]
#        [key runs] [panel seconds]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/release-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRELMO_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_trigger_latency bench_playback_load bench_osc_latency \
    bench_receive_path bench_control_latency bench_dropouts bench_key_latency \
    bench_flood_key_latency bench_group_spread bench_display_lag bench_sequence_timing \
    bench_level_latency
    bench_running_panel
"$root/bench/with-pulse.sh" bash -c "
    '$build/bench/bench_trigger_latency' ${1:-30} out1
    pactl load-module module-null-sink sink_name=plain norewinds=1 >/dev/null
    '$build/bench/bench_trigger_latency' ${1:-30} plain
    '$build/bench/bench_playback_load' ${2:-60}
    '$build/bench/bench_control_latency' ${4:-20} out1
    '$build/bench/bench_level_latency' ${4:-20} out1
    '$build/bench/bench_dropouts' ${5:-60} 8
    '$build/bench/bench_group_spread' ${1:-30}
    '$build/bench/bench_display_lag' ${1:-30}
    '$build/bench/bench_sequence_timing' ${1:-30} load
    pactl set-default-sink plain
    '$build/bench/bench_osc_latency' ${3:-20} plain
    xvfb-run -a -s '-screen 0 1280x1024x24' '$build/bench/bench_key_latency' ${6:-20} plain
    xvfb-run -a -s '-screen 0 1280x1024x24' '$build/bench/bench_flood_key_latency' ${6:-20} 100000 plain
    xvfb-run -a -s '-screen 0 1280x1024x24' '$build/bench/bench_running_panel' ${7:-10}
    '$build/bench/bench_receive_path'"
