#!/usr/bin/env bash
# Two copies of the built desktop program share one settings file, under a
# virtual X server:
#   1. copies A and B start from a file with two rows; A plays a game that
#      enters the ranking (rapid fire, pointer sweeps, then the rocks end it)
#      and a name is typed: the file holds the row at once, while A runs on;
#   2. B, started earlier, ends (SIGTERM, the destroy step's save): the file
#      still holds A's row and the two old ones;
#   3. a third copy C clears the ranking from the menu and ends; then A ends:
#      the file's ranking stays empty, A's older view is not written back;
#   4. the three settings are written at the exit only: A's immediate save
#      left the file's values as they were.
#
# Usage: scripts/desktop-ranking-copies.sh TAVRO
# Needs xvfb-run and xdotool.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
program="$(realpath "${1:?path to tavro}")"

if [ -z "${TAVRO_COPIES_IN_XVFB:-}" ]; then
  exec env TAVRO_COPIES_IN_XVFB=1 xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$program"
fi

fail() {
  echo "desktop-ranking-copies: FAIL: $*" >&2
  echo "--- the settings file:" >&2
  cat "$ini" >&2 2>/dev/null || true
  exit 1
}
say() {
  echo "desktop-ranking-copies: $*"
}

# shellcheck source=desktop-session.sh
source "$here/desktop-session.sh"
pids=()
stop_all() {
  for p in "${pids[@]}"; do kill -KILL "$p" 2>/dev/null || true; done
  cleanup
}
trap stop_all EXIT

export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
ini="$XDG_CONFIG_HOME/tavro/TAVRO.INI"
mkdir -p "$(dirname "$ini")"
{
  printf '[ENVIRONMENT]\nRapidFlag=1\nSoundFlag=0\nWaitFlag=1\n\n[SCORE]\n'
  printf '1_Values=0 1 0\n1_Name=Old1\n2_Values=0 1 0\n2_Name=Old2\n'
  for n in 3 4 5 6 7 8 9 10; do printf '%d_Values=0 0 0\n%d_Name=[ -- No player -- ]\n' "$n" "$n"; done
} >"$ini"

# The names of the file's ranking rows that hold a player, in order.
rows() {
  awk -F= '/^[0-9]+_Name=/ && $2 != "[ -- No player -- ]" { printf "%s ", $2 }' "$ini"
}

# Starts a copy; sets copy_pid and copy_window.
start_copy() {
  "$program" &
  copy_pid=$!
  pids+=("$copy_pid")
  copy_window=""
  for _ in $(seq 100); do
    copy_window="$(xdotool search --onlyvisible --pid "$copy_pid" --name '^TAVRO Ver\.1\.5$' 2>/dev/null | head -1 || true)"
    [ -n "$copy_window" ] && return 0
    sleep 0.1
  done
  fail "the main window of a copy did not appear"
}

# Waits up to $2 seconds for process $1 to end.
wait_gone() {
  for _ in $(seq $(($2 * 10))); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}

focus() {
  xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
}

# Without a window manager every window opens at the top left: the later
# copies move aside, so that the pointer over A's playfield is A's.
start_copy
a_pid=$copy_pid a_window=$copy_window
start_copy
b_pid=$copy_pid
xdotool windowmove "$copy_window" 700 0
sleep 1

# 1. A ranked game in A.
focus "$a_window"
xdotool key alt+f
sleep 0.3
xdotool key s
sleep 1.5
for round in $(seq 6); do
  for x in 60 140 220 300 380 460; do
    xdotool mousemove --window "$a_window" "$x" $((110 + (round * 37) % 260))
    sleep 0.05
  done
  xdotool mousemove --window "$a_window" $((50 + round * 35)) 180 click 1
done
xdotool mousemove 1270 790
dialog="$(wait_window --onlyvisible '^Name Entry$' 60)" || fail "A's game did not end with the name dialog"
focus "$dialog"
xdotool type --delay 50 "Ann"
xdotool key Return
for _ in $(seq 50); do
  [ "$(rows)" = "Ann Old1 Old2 " ] && break
  sleep 0.1
done
[ "$(rows)" = "Ann Old1 Old2 " ] || fail "A's row is not in the file while A runs: $(rows)"
grep -q '^SoundFlag=0$' "$ini" || fail "A's save changed the settings before its exit"
kill -0 "$a_pid" 2>/dev/null || fail "A ended"
say "A's ranked game is in the file at once: $(rows)"

# 2. B ends: its save merges.
kill -TERM "$b_pid"
wait_gone "$b_pid" 10 || fail "B did not end on SIGTERM"
[ "$(rows)" = "Ann Old1 Old2 " ] || fail "B's exit lost A's row: $(rows)"
say "B's exit kept A's row: $(rows)"

# 3. C clears the ranking (Game > Clear ranking..., OK); then A ends.
start_copy
c_pid=$copy_pid c_window=$copy_window
xdotool windowmove "$c_window" 700 0
sleep 1
focus "$c_window"
xdotool key alt+f
sleep 0.3
xdotool key Down Down Return
box="$(wait_window --onlyvisible '^TAVRO$' 5)" || fail "no confirmation for the clear in C"
focus "$box"
xdotool key Tab
sleep 0.1
xdotool key space
for _ in $(seq 50); do
  [ -z "$(rows)" ] && break
  sleep 0.1
done
[ -z "$(rows)" ] || fail "C's clear is not in the file at once: $(rows)"
kill -TERM "$c_pid"
wait_gone "$c_pid" 10 || fail "C did not end on SIGTERM"
kill -TERM "$a_pid"
wait_gone "$a_pid" 10 || fail "A did not end on SIGTERM"
[ -z "$(rows)" ] || fail "A's exit wrote back rows C had cleared: $(rows)"
grep -q '^RapidFlag=1$' "$ini" && grep -q '^SoundFlag=0$' "$ini" ||
  fail "the settings changed though no copy changed them"
say "C's clear stayed after A's exit"
say "1 passed, 0 failed"
