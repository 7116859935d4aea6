#!/bin/sh
# Takes a picture of a program's main window, as it looks right after start,
# on a private virtual screen; the README shows the one of Sorvane.
#
#   tools/window-picture.sh PATH/TO/sorvane OUTPUT.png
#   tools/window-picture.sh [--title TITLE] [--settle SECONDS] OUTPUT.png PROGRAM [ARGS...]
#
# The second form is the older one and is kept for whoever calls it that way.
# Builds nothing. Needs xvfb-run, xdotool, xwininfo and ImageMagick (import,
# convert, compare), all installed by tools/test.sh. The picture is taken
# once two pictures in a row, at least SECONDS apart (default 0.2), agree.
set -eu

usage() {
  echo "usage: $0 PATH/TO/sorvane OUTPUT.png" >&2
  echo "       $0 [--title TITLE] [--settle SECONDS] OUTPUT.png PROGRAM [ARGS...]" >&2
  exit 2
}

absolute() {
  case "$1" in
    /*) printf '%s\n' "$1" ;;
    *) printf '%s\n' "$(pwd)/$1" ;;
  esac
}

if [ "${SORVANE_PICTURE_INSIDE:-}" != 1 ]; then
  title=Sorvane
  settle=0.2
  while [ $# -gt 0 ]; do
    case "$1" in
      --title) [ $# -ge 2 ] || usage; title=$2; shift 2 ;;
      --settle) [ $# -ge 2 ] || usage; settle=$2; shift 2 ;;
      *) break ;;
    esac
  done
  [ $# -ge 2 ] || usage
  case "$1" in
    *.png) out=$1; shift; cwd=$(pwd) ;;  # the older order: the picture first
    *) [ $# -eq 2 ] || usage; out=$2; set -- "$1"; cwd= ;;
  esac
  out=$(absolute "$out")
  program=$(command -v "$1" || true)
  [ -n "$program" ] && [ -x "$program" ] || { echo "$0: $1 is not an executable program" >&2; exit 2; }
  shift
  here=$(dirname "$(readlink -f "$0")")
  SORVANE_PICTURE_INSIDE=1 SORVANE_PICTURE_TITLE=$title SORVANE_PICTURE_SETTLE=$settle \
    SORVANE_PICTURE_CWD=$cwd \
    exec "$here/../tests/run-under-display" "$(readlink -f "$0")" "$out" \
    "$(readlink -f "$program")" "$@"
fi

# On the virtual screen from here on: OUTPUT.png PROGRAM [ARGS...].
out=$1
shift
title=${SORVANE_PICTURE_TITLE:-Sorvane}
settle=${SORVANE_PICTURE_SETTLE:-0.2}
work=$(mktemp -d /tmp/sorvane-picture.XXXXXX)
pid=
finish() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap finish EXIT INT TERM

# A home of its own, so that nothing of the caller's shows up, and a folder
# of its own unless the caller's matters to its arguments.
(cd "${SORVANE_PICTURE_CWD:-$work}" && HOME="$work" XDG_CONFIG_HOME="$work/.config" exec "$@") \
  >"$work/program.log" 2>&1 &
pid=$!

window=$(timeout 60 xdotool search --sync --onlyvisible --name "^$title\$" 2>/dev/null |
  head -n 1)
[ -n "$window" ] || {
  echo "$0: no window titled '$title' appeared" >&2
  cat "$work/program.log" >&2
  exit 1
}

geometry() {
  xwininfo -id "$window" | awk '
    /Absolute upper-left X:/ { x = $NF }
    /Absolute upper-left Y:/ { y = $NF }
    /^ *Width:/ { w = $NF }
    /^ *Height:/ { h = $NF }
    END { printf "%sx%s+%s+%s\n", w, h, x, y }'
}

# The window is mapped before everything in it is drawn: take pictures until
# two in a row are the same.
previous=
for i in $(seq 1 50); do
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "$(geometry)" +repage "$work/shot-$i.png"
  if [ -n "$previous" ] &&
     [ "$(compare -metric AE "$previous" "$work/shot-$i.png" null: 2>&1 || true)" = 0 ]; then
    mkdir -p "$(dirname "$out")"
    cp "$work/shot-$i.png" "$out"
    echo "$out: $(geometry | cut -d+ -f1)"
    exit 0
  fi
  previous=$work/shot-$i.png
  sleep "$settle"
done
echo "$0: the window kept changing; no picture taken" >&2
exit 1
