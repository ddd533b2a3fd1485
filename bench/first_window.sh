#!/usr/bin/env bash
# Time from the launch of a first instance to its window being mapped, for one or more builds
# of trelmo side by side (alternating run by run), on a private display and sound server. Each
# program runs from a copy of its own, with its application library beside it when it has one.
# Usage: bench/first_window.sh [runs] program...   (default: the Release build's bin/trelmo)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-20}
shift || true
programs=("$@")
if [ ${#programs[@]} -eq 0 ]; then
    build="$root/build/release-bench"
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRELMO_TESTS=OFF >/dev/null
    cmake --build "$build" -j2 --target trelmo >/dev/null
    programs=("$build/bin/trelmo")
fi

measure() {
    local work
    work=$(mktemp -d)
    exec 3>"$work/display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 & local xvfb=$!
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
    exec 3>&-
    export DISPLAY=":$(cat "$work/display")"
    # Every window mapped on the screen, as it happens.
    coproc MAPS { exec stdbuf -oL xev -root -event substructure; }
    local i=0
    for program in "${programs[@]}"; do
        mkdir -p "$work/$i/bin"
        cp "$program" "$work/$i/bin/trelmo"
        [ -d "$(dirname "$program")/../lib/trelmo" ] && cp -r "$(dirname "$program")/../lib" "$work/$i/"
        i=$((i + 1))
    done
    declare -A times
    for run in $(seq "$runs"); do
        for i in "${!programs[@]}"; do
            while read -r -t 0.2 -u "${MAPS[0]}" _; do :; done
            local start=$EPOCHREALTIME
            "$work/$i/bin/trelmo" & local pid=$!
            local line=""
            while read -r -t 30 -u "${MAPS[0]}" line; do [[ $line == MapNotify* ]] && break; done
            local end=$EPOCHREALTIME
            times[$i]+="$(echo "($end - $start) * 1000" | bc) "
            kill -TERM "$pid"; wait "$pid" || true
            rm -f "$work/$i/bin/Settings.xml"
        done
    done
    for i in "${!programs[@]}"; do
        printf '%s: median %s ms over %s runs\n' "${programs[$i]}" \
            "$(tr ' ' '\n' <<<"${times[$i]}" | grep . | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')" "$runs"
    done
    kill "$MAPS_PID" "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
export -f measure
export runs
"$root/bench/with-pulse.sh" bash -c "programs=($(printf '%q ' "${programs[@]}")); measure"
