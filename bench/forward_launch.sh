#!/usr/bin/env bash
# Wall time of a forwarding launch (`trelmo stop 1` while an instance runs) next to the launch
# of a minimal program linked against the same Qt libraries, measured in the same run: hyperfine
# rounds that alternate which of the two goes first, so that load from elsewhere hits both
# alike. Prints both medians over all runs and their ratio (target: at most 1.5). Builds a
# Release configuration of its own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${BUILD_DIR:-$root/build/release-bench}"
runs="${RUNS:-50}"
rounds="${ROUNDS:-6}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRELMO_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target trelmo minimal_qt_launch >/dev/null

work=$(mktemp -d)
first=""
cleanup() {
    if [ -n "$first" ]; then
        kill "$first" 2>/dev/null || true
        wait "$first" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
cp "$build/src/trelmo" "$work/trelmo"

QT_QPA_PLATFORM=offscreen "$work/trelmo" & first=$!
for _ in $(seq 200); do
    compgen -G "$XDG_RUNTIME_DIR/trelmo-*/$first.sock" >/dev/null && break
    sleep 0.05
done
compgen -G "$XDG_RUNTIME_DIR/trelmo-*/$first.sock" >/dev/null || { echo "no running instance"; exit 1; }

forward=(-n forward "$work/trelmo stop 1")
minimal=(-n minimal "$build/bench/minimal_qt_launch")
for round in $(seq "$rounds"); do
    if ((round % 2)); then order=("${forward[@]}" "${minimal[@]}"); else order=("${minimal[@]}" "${forward[@]}"); fi
    hyperfine -N --warmup 10 --runs "$runs" --export-json "$work/round$round.json" "${order[@]}" >&2
done

jq -rs 'map(.results[]) | group_by(.command) | map({(.[0].command): (map(.times[]) | sort |
        .[length / 2 | floor])}) | add |
    "forward median: \(.forward * 100000 | round / 100) ms\n" +
    "minimal median: \(.minimal * 100000 | round / 100) ms\n" +
    "ratio: \(.forward / .minimal * 100 | round / 100) (target <= 1.5)"' "$work"/round*.json
kill -0 "$first" || { echo "the running instance ended during the run"; exit 1; }
