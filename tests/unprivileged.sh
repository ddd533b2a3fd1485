#!/usr/bin/env bash
# Runs a command as a user who cannot write to read-only folders: as nobody when started as
# root (root writes anywhere), as the caller otherwise.
set -euo pipefail
if [ "$(id -u)" -eq 0 ]; then
    exec setpriv --reuid=nobody --regid=nogroup --clear-groups --inh-caps=-all "$@"
fi
exec "$@"
