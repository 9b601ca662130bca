#!/usr/bin/env bash
# Measures the frames the desktop program loses while it sends replays to
# the shared ranking. The program runs in a real window under a virtual X
# server with online play off and replays waiting in its outbox; after two
# seconds the shared ranking dialog is opened from the menu, and two seconds
# later its check box turns online play on, which sends the outbox to a
# local tavro-board (each replay verified by the server, one after the
# other, then the rankings asked for). The frames run are compared with the
# expected 50 a second over the time from the first request to the last
# answer, and over the whole run against the same run without the tick.
#
# The replays are one ranked game played by the Qt tests' program
# (qt_online_test), sent as COPIES distinct files (a comment line each;
# the first is accepted, the others verified again and counted once) and
# one file of about 3 MiB.
#
# Usage: scripts/desktop-online.sh [build folder] [seconds] [copies]
#        (defaults: build, 12, 10)
# Needs xvfb-run and xdotool.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$(realpath "${1:-$here/../build}")"
seconds="${2:-12}"
copies="${3:-10}"

if [ -z "${TAVRO_ONLINE_IN_XVFB:-}" ]; then
  exec env TAVRO_ONLINE_IN_XVFB=1 xvfb-run -a -s "-screen 0 800x700x24" "$0" "$build" "$seconds" "$copies"
fi

program="$build/bin/tavro"
board="$build/bin/tavro-board"
sim="$build/bin/tavro-sim"
tests="$build/bin/qt_online_test"
for f in "$program" "$board" "$sim" "$tests"; do
  [ -x "$f" ] || {
    echo "desktop-online: $f is not built" >&2
    exit 2
  }
done

# shellcheck source=desktop-session.sh
source "$here/desktop-session.sh"
board_pid=""
stop_board() {
  if [ -n "$board_pid" ] && kill -0 "$board_pid" 2>/dev/null; then
    kill -TERM "$board_pid" 2>/dev/null || true
    wait "$board_pid" 2>/dev/null || true
  fi
  board_pid=""
}
trap 'stop_board; cleanup' EXIT

# --- One ranked game's replay, kept in an outbox while no server answers ----
gen="$work/gen"
mkdir -p "$gen/config/tavro"
printf '[Online]\nEnabled=1\nServer=http://127.0.0.1:1\nAutoSend=1\n' >"$gen/config/tavro/TAVRO.INI"
env TAVRO_ONLINE_SCENARIO=ranked-offline TAVRO_TEST_NAME=Measure QT_QPA_PLATFORM=offscreen \
  XDG_CONFIG_HOME="$gen/config" XDG_DATA_HOME="$gen/data" "$tests" >"$gen/out" 2>"$gen/err" || {
  cat "$gen/err" >&2
  echo "desktop-online: no ranked game was played" >&2
  exit 1
}
source_replay="$(ls "$gen"/data/tavro/replays/outbox/*.tavroreplay | head -1)"
echo "desktop-online: a ranked game of $(wc -c <"$source_replay") bytes" \
  "($(awk '/^game-frames/ { print $2 }' "$gen/out") frames of play)"

fill_outbox() {
  local outbox="$1/data/tavro/replays/outbox"
  mkdir -p "$outbox"
  for i in $(seq "$copies"); do
    { cat "$source_replay"; echo "# copy $i"; } >"$outbox/$(printf '0-%03d' "$i").tavroreplay"
  done
  # About 3 MiB: the same game after 3 MiB of comment lines.
  {
    cat "$source_replay"
    awk 'BEGIN { for (i = 0; i < 49152; i++) printf "# %061d\n", i }'
  } >"$outbox/1-large.tavroreplay"
}

# --- The runs ----------------------------------------------------------------
board_data="$work/board"
mkdir -p "$board_data"
"$board" --listen 127.0.0.1:0 --data "$board_data" --sim "$sim" --rate 0 2>"$work/board.log" &
board_pid=$!
port=""
for _ in $(seq 100); do
  port="$(sed -n 's|.*listening on http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$work/board.log")"
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || {
  echo "desktop-online: tavro-board did not start" >&2
  exit 1
}

focus() {
  xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
}

run() {
  local name="$1" join="$2"
  local home="$work/$name"
  mkdir -p "$home/config/tavro"
  printf '[ENVIRONMENT]\nSoundFlag=0\n[Online]\nEnabled=0\nServer=http://127.0.0.1:%s\nAutoSend=1\n' \
    "$port" >"$home/config/tavro/TAVRO.INI"
  fill_outbox "$home"
  XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" TAVRO_FRAME_LOG="$home/frames.log" \
    "$program" &
  pid=$!
  local main dialog
  main="$(wait_window --onlyvisible '^TAVRO Ver\.1\.5$' 10)" || {
    echo "desktop-online: no window" >&2
    exit 1
  }
  local started=$SECONDS
  sleep 2
  focus "$main"
  xdotool key alt+f
  sleep 0.3
  xdotool key n # ゲーム > ネットランキング
  dialog="$(wait_window --onlyvisible '^ネットランキング$' 5)" || {
    echo "desktop-online: no shared ranking dialog" >&2
    exit 1
  }
  sleep 2
  if [ "$join" = 1 ]; then
    focus "$dialog"
    xdotool key space # the first box: join
  fi
  sleep $((seconds - (SECONDS - started)))
  kill -TERM "$pid"
  wait "$pid" || true
  pid=""
  local left
  left="$(find "$home/data/tavro/replays/outbox" -name '*.tavroreplay' | wc -l)"
  awk -v name="$name" -v left="$left" '
    /^frames/ { frames = $2 }
    /^seconds/ { run = $2 }
    /^event/ {
      if ($2 != "answer") { starts++; if (first == "") { first = $5; firstFrames = $6 } }
      else { answers++; last = $5; lastFrames = $6 }
    }
    END {
      printf "%-8s %5d frames in %6.2f s: %.2f frames/s, %d lost of %d expected\n",
             name, frames, run, frames / run, 50 * run - frames + 0.5, 50 * run + 0.5
      if (starts > 0) {
        from = first < 0 ? 0 : first
        fromFrames = first < 0 ? 0 : firstFrames
        span = last - from
        ran = lastFrames - fromFrames
        printf "         %d requests (%d answered), %d replays left in the outbox; first request to last answer: %d frames in %.2f s = %.2f frames/s, %d lost of %d expected\n",
               starts, answers, left, ran, span, ran / span, 50 * span - ran + 0.5, 50 * span + 0.5
      }
    }' "$home/frames.log"
}

echo "desktop-online: ${seconds} s runs under Xvfb (sound off), $copies copies and one 3 MiB file in the outbox:"
run stay-off 0
run join 1
accepted="$(grep -c 'POST /api/v1/replays' "$work/board.log" || true)"
echo "desktop-online: the server took $accepted submissions"
