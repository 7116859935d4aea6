#!/bin/sh
# Takes a picture of a program's window on a private virtual screen.
#
#   tools/window-picture.sh [--title TITLE] [--settle SECONDS] OUT.png PROGRAM [ARGS...]
#
# Starts PROGRAM under tests/run-under-display, waits until a visible window
# titled TITLE (default "Sorvane") is mapped, lets it settle (default 2 s),
# saves that window as OUT.png, and ends the program again.
set -eu

title=Sorvane
settle=2
while [ $# -gt 0 ]; do
  case "$1" in
    --title) title=$2; shift 2 ;;
    --settle) settle=$2; shift 2 ;;
    *) break ;;
  esac
done
if [ $# -lt 2 ]; then
  echo "usage: $0 [--title TITLE] [--settle SECONDS] OUT.png PROGRAM [ARGS...]" >&2
  exit 2
fi

if [ "${SORVANE_UNDER_DISPLAY:-}" != 1 ]; then
  here=$(cd "$(dirname "$0")" && pwd)
  exec "$here/../tests/run-under-display" "$0" --title "$title" --settle "$settle" "$@"
fi

out=$1
shift
"$@" &
program=$!
trap 'kill "$program" 2>/dev/null || true' EXIT

window=""
tries=0
while [ -z "$window" ]; do
  if ! kill -0 "$program" 2>/dev/null; then
    echo "$0: the program ended before showing a window" >&2
    exit 1
  fi
  tries=$((tries + 1))
  if [ "$tries" -gt 100 ]; then
    echo "$0: no window titled '$title' within 20 s" >&2
    exit 1
  fi
  window=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] || sleep 0.2
done
sleep "$settle"
import -window "$window" "$out"
echo "$out: $(identify -format '%wx%h' "$out")"
