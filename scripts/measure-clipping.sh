#!/usr/bin/env bash
# Plays a scripted rapid-fire game's sound requests through the SDL mixer into
# SDL's disk audio driver and reports how many output samples sit at full
# scale. Usage: scripts/measure-clipping.sh [BUILD_DIR]   (default build/measure)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/measure}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRO_BUILD_DESKTOP=OFF \
    -DTAVRO_BUILD_BENCHMARKS=OFF >/dev/null
fi
cmake --build "$build" -j2 --target tavro-sim measure_clipping >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Rapid fire on, a game started, the pointer sweeping the field every frame
# (a shot each frame) for 30 s; then the rocks land until the game is over
# and the fireworks go off.
awk 'BEGIN {
  print "0 rapid"; print "1 start"
  for (f = 2; f <= 1500; f++)
    printf "%d move %d %d\n", f, 256 + 235 * sin(f * 0.11), 260 + 170 * sin(f * 0.037)
}' >"$work/game.txt"
"$build/bin/tavro-sim" --frames 2500 --dump-every 1 --script "$work/game.txt" 2>/dev/null |
  "$build/bin/measure_clipping" "$root/res/sounds" "$work/output.raw"
