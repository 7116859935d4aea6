#!/bin/sh
# Takes a picture of Sorvane's main window, as it looks right after start, on
# a private virtual screen; the README shows it.
#
#   tools/window-picture.sh PATH/TO/sorvane OUTPUT.png
#
# Builds nothing. Needs Xvfb, xdotool, xwininfo and ImageMagick (import,
# convert, compare), all installed by tools/test.sh. The picture is taken
# once two pictures in a row, at least 0.2 s apart, agree.
set -eu

if [ "${SORVANE_PICTURE_INSIDE:-}" != 1 ]; then
  [ $# -eq 2 ] || { echo "usage: $0 PATH/TO/sorvane OUTPUT.png" >&2; exit 2; }
  case "$2" in
    /*) out=$2 ;;
    *) out=$(pwd)/$2 ;;
  esac
  [ -x "$1" ] || { echo "$0: $1 is not an executable program" >&2; exit 2; }
  here=$(dirname "$(readlink -f "$0")")
  SORVANE_PICTURE_INSIDE=1 \
    exec "$here/../tests/run-under-display" "$(readlink -f "$0")" "$out" "$(readlink -f "$1")"
fi

# On the virtual screen from here on: OUTPUT.png PROGRAM.
out=$1
shift
title=Sorvane
settle=0.2
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

# A home and a folder of its own, so that nothing of the caller's shows up.
(cd "$work" && HOME="$work" XDG_CONFIG_HOME="$work/.config" exec "$@") \
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
