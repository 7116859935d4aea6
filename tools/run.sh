#!/usr/bin/env bash
# Sets up, builds and starts Sorvane. Without a display it starts one (Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: starting Sorvane on a virtual one." >&2
  exec tests/run-under-display build/sorvane "$@"
fi
exec build/sorvane "$@"
