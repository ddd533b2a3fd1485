#!/usr/bin/env bash
# Makes the manual's pictures of the window with the screenshot tool of a build:
#   doc/manual/pictures.sh [build folder, default build/debug]
# Runs on a display and a sound server of its own.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/debug}
cmake --build "$build" --target ui_screenshot

runtime=$(mktemp -d)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR="$runtime"
unset PULSE_SERVER
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit -n \
    --load=module-native-protocol-unix --load="module-null-sink sink_name=out1" >/dev/null 2>&1 &
pulse=$!
trap 'kill "$pulse"; wait "$pulse" 2>/dev/null || true; rm -rf "$runtime"' EXIT
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done

for scene in window editing empty; do
    xvfb-run -a -s "-screen 0 1280x1024x24" \
        "$build/tests/ui_screenshot" "$root/doc/manual/images/$scene.png" "$scene"
done
