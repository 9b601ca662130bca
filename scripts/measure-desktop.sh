#!/usr/bin/env bash
# Measures the desktop program in a real window under a virtual X server:
# frames run per second and the processor time it uses, for about ten
# seconds of the demo, once with WaitFlag 1 (one frame per 20 ms tick) and
# once with WaitFlag 0 (frames back to back).
#
# Usage: scripts/measure-desktop.sh [path/to/tavro] [seconds]
#        (defaults: build/bin/tavro, 10)
# With TAVRO_COMPARE=path/to/other/tavro, both programs are measured in turn
# at WaitFlag 1, sound off and on, three times each, and the medians and
# their ratio are given.
# Needs xvfb-run and xdotool.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
program="$(realpath "${1:-$here/../build/bin/tavro}")"
seconds="${2:-10}"

if [ -z "${TAVRO_MEASURE_IN_XVFB:-}" ]; then
  exec env TAVRO_MEASURE_IN_XVFB=1 ${TAVRO_COMPARE:+TAVRO_COMPARE="$(realpath "$TAVRO_COMPARE")"} xvfb-run -a -s "-screen 0 800x700x24" "$0" "$program" "$seconds"
fi

# shellcheck source=desktop-session.sh
source "$here/desktop-session.sh"
ticks_per_second="$(getconf CLK_TCK)"

# utime + stime of the process, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

measure() {
  local wait_flag="$1" sound="${2:-0}" measured="${3:-$program}"
  export XDG_CONFIG_HOME="$work/config-$wait_flag"
  mkdir -p "$XDG_CONFIG_HOME/tavro"
  printf '[ENVIRONMENT]\nRapidFlag=0\nSoundFlag=%s\nWaitFlag=%s\n' "$sound" "$wait_flag" \
    >"$XDG_CONFIG_HOME/tavro/TAVRO.INI"
  local log="$work/frames-$wait_flag.log"
  TAVRO_FRAME_LOG="$log" "$measured" &
  pid=$!
  for _ in $(seq 100); do
    xdotool search --onlyvisible --name '^TAVRO Ver\.1\.5$' >/dev/null 2>&1 && break
    sleep 0.1
  done
  local cpu_start wall_start cpu_end wall_end
  cpu_start="$(cpu_ticks "$pid")"
  wall_start="$(date +%s.%N)"
  sleep "$seconds"
  cpu_end="$(cpu_ticks "$pid")"
  wall_end="$(date +%s.%N)"
  kill -TERM "$pid"
  wait "$pid" || true
  pid=""
  local frames run
  frames="$(awk '/^frames/ { print $2 }' "$log")"
  run="$(awk '/^seconds/ { print $2 }' "$log")"
  awk -v f="$frames" -v r="$run" -v c0="$cpu_start" -v c1="$cpu_end" -v w0="$wall_start" \
    -v w1="$wall_end" -v hz="$ticks_per_second" -v wf="$wait_flag" 'BEGIN {
      cpu = (c1 - c0) / hz; wall = w1 - w0;
      printf "WaitFlag %s: %d frames in %.2f s = %.1f frames/s; CPU %.2f s in %.2f s = %.1f%% of one core\n",
             wf, f, r, f / r, cpu, wall, 100 * cpu / wall }'
}

if [ -n "${TAVRO_COMPARE:-}" ]; then
  # percent of a core of each run, by program and sound
  for sound in 0 1; do
    for name in compared measured; do : >"$work/$name-$sound"; done
    for _ in 1 2 3; do
      measure 1 "$sound" "$TAVRO_COMPARE" | tee -a /dev/stderr |
        sed -n 's/.* = \([0-9.]*\)% of one core/\1/p' >>"$work/compared-$sound"
      measure 1 "$sound" "$program" | tee -a /dev/stderr |
        sed -n 's/.* = \([0-9.]*\)% of one core/\1/p' >>"$work/measured-$sound"
    done
    median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
    old="$(median "$work/compared-$sound")"
    new="$(median "$work/measured-$sound")"
    awk -v o="$old" -v n="$new" -v s="$sound" 'BEGIN {
      printf "sound %s: %s %.2f%%, %s %.2f%% of a core (medians of 3): ratio %.2f\n",
             (s == 1 ? "on" : "off"), "compared", o, "measured", n, n / o }'
  done
  exit 0
fi

echo "tavro in a ${seconds} s demo under Xvfb (sound off):"
measure 1
measure 0
