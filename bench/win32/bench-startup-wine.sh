#!/bin/sh
# Start-up of the Windows program under Wine: from launch to its window on the
# (virtual) screen, five times with a warm prefix and wine server, each ended
# with Esc. Wine figures, not Windows ones.
#
#   tests/run-under-display sh bench/win32/bench-startup-wine.sh build-win64/sorvane.exe
set -eu
exe=$1
here=$(cd "$(dirname "$0")" && pwd)
wine_run=$here/../../tests/win32/wine-run
"$wine_run" --can-run "$exe" || { echo "Wine cannot run $exe here"; exit 77; }
times=""
for i in 0 1 2 3 4 5; do
  began=$(date +%s%N)
  "$wine_run" "$exe" >/dev/null 2>&1 &
  pid=$!
  until window=$(xdotool search --onlyvisible --name '^Sorvane$' 2>/dev/null | head -1) && [ -n "$window" ]; do
    sleep 0.02
  done
  ended=$(date +%s%N)
  # The first start warms the prefix and the server, and is not counted.
  [ "$i" = 0 ] || times="$times $(( (ended - began) / 1000000 ))"
  sleep 1
  xdotool windowactivate --sync "$window" 2>/dev/null || true
  xdotool key --window "$window" Escape
  wait "$pid" || true
done
echo "start-up under Wine, launch to window (ms):$times"
echo "$times" | tr ' ' '\n' | sed '/^$/d' | sort -n | awk '{a[NR]=$1} END {print "median " a[int((NR+1)/2)] " ms"}'
