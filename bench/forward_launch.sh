#!/usr/bin/env bash
# Wall time of a forwarding launch (`trelmo stop 1` while a first instance with a cue list runs,
# window shown, sound server up) next to a program whose main is empty, built by the same
# compiler, and a minimal Qt Widgets program for context, measured in the same run: hyperfine
# rounds that alternate the order, so that load from elsewhere hits all alike. Prints the medians
# over all runs and the ratio to the empty program (target: at most 3). Builds a Release
# configuration of its own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${BUILD_DIR:-$root/build/release-bench}"
export RUNS="${RUNS:-50}" ROUNDS="${ROUNDS:-6}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRELMO_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target trelmo empty_main minimal_qt_launch bench_remote_trigger \
    >/dev/null

measure() {
    local work
    work=$(mktemp -d)
    trap 'rm -rf "$work"' RETURN
    local forward=(-n forward "$TRELMO stop 1")
    local empty=(-n empty "$BUILD/bench/empty_main")
    local qt=(-n qt "$BUILD/bench/minimal_qt_launch")
    for round in $(seq "$ROUNDS"); do
        if ((round % 2)); then order=("${forward[@]}" "${empty[@]}" "${qt[@]}")
        else order=("${qt[@]}" "${empty[@]}" "${forward[@]}"); fi
        hyperfine -N --warmup 10 --runs "$RUNS" --export-json "$work/round$round.json" \
            "${order[@]}" >&2
    done
    jq -rs 'map(.results[]) | group_by(.command) | map({(.[0].command): (map(.times[]) | sort |
            .[length / 2 | floor])}) | add |
        "forward median: \(.forward * 100000 | round / 100) ms\n" +
        "empty median: \(.empty * 100000 | round / 100) ms\n" +
        "minimal Qt median: \(.qt * 100000 | round / 100) ms\n" +
        "ratio forward / empty: \(.forward / .empty * 100 | round / 100) (target <= 3)"' \
        "$work"/round*.json
}
export -f measure
export BUILD="$build"
"$root/bench/with-pulse.sh" "$root/bench/with-first-instance.sh" "$build" bash -c measure
