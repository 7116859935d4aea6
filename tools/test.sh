#!/usr/bin/env bash
# Sets up, builds and runs every test: unit, simulated program, the GTK layer
# with the real engine under Xvfb, and the program driven end to end.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
ctest --test-dir build --output-on-failure --timeout 900 "$@"
