#!/usr/bin/env bash
# Runs a command against a private PulseAudio server with the null sinks out1 (default) and
# out2, started in its own runtime directory and stopped by its process id afterwards.
set -euo pipefail
runtime=$(mktemp -d)
chmod 700 "$runtime"
pid=""
cleanup() {
    [ -n "$pid" ] && { kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; }
    rm -rf "$runtime"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR="$runtime"
unset PULSE_SERVER
pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit -n \
    --load=module-native-protocol-unix \
    --load="module-null-sink sink_name=out1" \
    --load="module-null-sink sink_name=out2" >"$runtime/pulse.log" 2>&1 &
pid=$!
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl set-default-sink out1
"$@"
