#!/usr/bin/env bash
# Sets up, builds and starts Sorvane, passing its arguments on unchanged.
# Without a display it starts one (Xvfb), so a run from cron works on a server.
# Standard output is the program's alone, for scripts that read its lines: the
# set-up reports on standard error.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# Only the set-up runs in the repository: relative paths in the arguments are
# the caller's.
(cd "$root" && bash tools/setup.sh run) >&2
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: starting Sorvane on a virtual one." >&2
  SORVANE_NO_ACCESSIBILITY=1 exec "$root/tests/run-under-display" "$root/build/sorvane" "$@"
fi
exec "$root/build/sorvane" "$@"
