#!/usr/bin/env bash
# The Windows program and the shared ranking, under Wine in a virtual X
# server, against a real Linux tavro-board on 127.0.0.1:
#  1. with online play and sending without asking in TAVRO.INI, a ranked
#     game is sent at its end and the server ranks it; the ranking dialog,
#     opened from the menu, shows it (its rows read back from the list at
#     the exit, and a screenshot); Enter in the dialog starts a second copy
#     that plays the replay fetched from the server, "4" speeds it up, and
#     it ends on the picture `tavro-sim --png` draws for that file;
#  2. with the server stopped, the next ranked game's replay waits in the
#     outbox and the status bar says so; at the next start, the server up
#     again, it is sent and ranked.
#
# Usage: scripts/test-windows-online.sh TAVRO_EXE TAVRO_SIM TAVRO_BOARD
# TAVRO_SIM and TAVRO_BOARD are the Linux build's. TAVRO_ONLINE_SHOT=FILE
# keeps the screenshot of the dialog. Uses $WINEPREFIX when set (made once
# per run by the caller), else a prefix of its own. Needs wine, xvfb-run,
# xdotool, ImageMagick, curl and python3.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
if [ $# -ne 3 ]; then
  echo "usage: $0 TAVRO_EXE TAVRO_SIM TAVRO_BOARD" >&2
  exit 2
fi
exe="$(realpath "$1")"
sim="$(realpath "$2")"
board="$(realpath "$3")"

if [ -z "${TAVRO_WINE_IN_XVFB:-}" ]; then
  exec env TAVRO_WINE_IN_XVFB=1 xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$exe" "$sim" "$board"
fi

# shellcheck source=desktop-session.sh
source "$here/desktop-session.sh"

server=""
stop_server() {
  if [ -n "$server" ]; then
    kill -TERM "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
    server=""
  fi
}
trap 'stop_server; cleanup' EXIT

# shellcheck disable=SC2034  # read by wine-session.sh
name=test-windows-online
# shellcheck source=wine-session.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine-session.sh"

# start_server [PORT]: tavro-board on 127.0.0.1 (any free port unless told).
start_server() {
  : >"$work/board.log"
  "$board" --listen "127.0.0.1:${1:-0}" --data "$work/board" --sim "$sim" --rate 0 \
    2>>"$work/board.log" &
  server=$!
  for _ in $(seq 300); do
    grep -q "listening on" "$work/board.log" && break
    kill -0 "$server" 2>/dev/null || fail "tavro-board did not start: $(cat "$work/board.log")"
    sleep 0.1
  done
  port="$(sed -n 's/.*listening on http:\/\/127\.0\.0\.1:\([0-9]*\)\/.*/\1/p' "$work/board.log" | head -1)"
  [ -n "$port" ] || fail "tavro-board gave no port: $(cat "$work/board.log")"
}

ranking() {
  curl -sf "http://127.0.0.1:$port/api/v1/ranking?period=all"
}
# ranking_field N FIELD: a field of the Nth entry of the server's ranking.
ranking_field() {
  ranking | python3 -c 'import json, sys
entries = json.load(sys.stdin)["entries"]
n = int(sys.argv[1])
print(entries[n - 1][sys.argv[2]] if len(entries) >= n else "")' "$1" "$2"
}
# ranked NAME: whether the server's ranking has a game of NAME.
ranked() {
  ranking 2>/dev/null | python3 -c 'import json, sys
sys.exit(all(e["name"] != sys.argv[1] for e in json.load(sys.stdin)["entries"]))' "$1"
}

# The program (its frame log, written at its exit, names its last status
# line and what the ranking dialog showed).
start() {
  rm -f "$log"
  TAVRO_FRAME_LOG="$win_log" wine "$work/Tavro.exe" >"$work/out.txt" 2>&1 &
  pid=$!
  main="$(wait_window '^TAVRO Ver\.1\.5$' 60)" || fail "no window \"TAVRO Ver.1.5\""
  sleep 1
}

value() {
  tr -d '\r' <"$log" | sed -n "s/^$1 //p"
}

# The exit confirmation, answered with OK (Cancel is its default button).
close_with_ok() {
  activate_main
  xdo key --window "$main" alt+F4
  local box
  box="$(wait_window '^TAVRO$' 10)" || fail "no exit confirmation"
  sleep 0.5
  xdo key --window "$box" Tab
  sleep 0.2
  xdo key --window "$box" Return
  wait_exit 20 || fail "the program did not end after OK"
  [ "$status" -eq 0 ] || fail "exit code $status after OK"
  for _ in $(seq 50); do
    [ -s "$log" ] && break
    sleep 0.1
  done
}

# The main window active again, as a click on its menu bar's free end makes
# it (the keys go to the thread's active window, the dialog's or this one).
activate_main() {
  eval "$(xdo getwindowgeometry --shell "$main")"
  xdo mousemove $((X + WIDTH - 20)) $((Y + 8)) click 1
  sleep 0.3
}

# play_ranked_game NAME: a game from the menu, shot at with rapid fire until
# the rocks end it, and NAME typed into the name entry.
play_ranked_game() {
  local geometry x y
  activate_main
  xdo key --window "$main" alt+f
  sleep 0.5
  xdo key --window "$main" s
  sleep 1
  geometry="$(xdo getwindowgeometry "$main" | awk '/Position:/ { print $2 }')"
  x="${geometry%,*}"
  y="${geometry#*,}"
  for round in $(seq 6); do
    for dx in 60 140 220 300 380 460; do
      xdo mousemove $((x + dx)) $((y + 60 + (80 + (round * 37) % 260)))
      sleep 0.05
    done
  done
  xdo mousemove 0 0
  local dialog
  dialog="$(wait_window '^Name Entry$' 90)" || fail "the game did not end with the name dialog"
  sleep 0.5
  xdo windowfocus "$dialog"
  xdo type --delay 80 "$1"
  sleep 0.3
  xdo key Return
}

wait_for() {
  local what="$1" seconds="$2"
  shift 2
  for _ in $(seq $((seconds * 10))); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  fail "$what"
}

mkdir -p "$(dirname "$ini")"
start_server
write_ini() {
  printf '[ENVIRONMENT]\r\nRapidFlag=1\r\nSoundFlag=0\r\n[Online]\r\nEnabled=1\r\nServer=http://127.0.0.1:%s\r\nAutoSend=1\r\n' \
    "$port" >"$ini"
}
write_ini

# 1. A ranked game, sent at its end, shown in the dialog, watched.
start
play_ranked_game Wine
wait_for "the server did not rank the game" 120 ranked Wine
score="$(ranking_field 1 score)"
level="$(ranking_field 1 level)"
replay_id="$(ranking_field 1 replay)"
note "the server ranked the game: Wine, score $score, level $((level + 1))"

activate_main
xdo key --window "$main" alt+f
sleep 0.5
xdo key --window "$main" n
dialog="$(wait_window --onlyvisible '^ネットランキング$' 10)" || fail "the menu did not open the ranking dialog"
# The rankings are asked for again as it opens; their rows show at once.
sleep 3
eval "$(xdo getwindowgeometry --shell "$dialog")"
import -window root "$work/dialog.png"
right=$((X + WIDTH))
bottom=$((Y + HEIGHT))
eval "$(xdo getwindowgeometry --shell "$main")"
[ $((Y + HEIGHT)) -gt "$bottom" ] && bottom=$((Y + HEIGHT))
convert "$work/dialog.png" -crop "${right}x${bottom}+0+0" +repage "$work/dialog-cut.png"
if [ -n "${TAVRO_ONLINE_SHOT:-}" ]; then
  mkdir -p "$(dirname "$TAVRO_ONLINE_SHOT")"
  cp "$work/dialog-cut.png" "$TAVRO_ONLINE_SHOT"
  note "screenshot of the dialog: $TAVRO_ONLINE_SHOT"
fi

# Enter plays the chosen (top) row's game in a second copy.
xdo windowfocus "$dialog"
sleep 0.3
xdo key Return
watcher="$(wait_window '^TAVRO Ver\.1\.5 - replay' 60)" || fail "Enter in the dialog started no replay"
shared="$replays/shared/$replay_id.tavroreplay"
[ -f "$shared" ] || fail "the fetched replay is not at $shared"
curl -sf "http://127.0.0.1:$port/api/v1/replays/$replay_id" | cmp - "$shared" ||
  fail "the fetched replay differs from the server's"
xdo key --window "$watcher" 4
wait_window '^TAVRO Ver\.1\.5 - replay \(4x\)$' 10 >/dev/null || fail "the key 4 did not speed the replay up"
wait_window 'replay ended' 120 >/dev/null || fail "the fetched replay did not end"
sleep 0.5
import -window root "$work/replay.png"
rm -f "$log"
xdo key --window "$watcher" alt+F4
for _ in $(seq 100); do
  [ -s "$log" ] && break
  sleep 0.1
done
[ -s "$log" ] || fail "the watching copy did not end"
[ "$(value status)" = "Space: 一時停止/再開  .: 1フレーム  1/2/4: 速度  N: 次のゲーム" ] ||
  fail "the watching copy's status bar said \"$(value status)\", not the playback keys"
read -r cx cy <<<"$(value client)"
"$sim" --verify "$shared" --png "$work/sim.png" >"$work/verify.txt" 2>&1 || {
  cat "$work/verify.txt"
  fail "tavro-sim finds other scores in the fetched replay"
}
convert "$work/replay.png" -crop "512x512+${cx}+${cy}" +repage "$work/shown.png"
differing="$(compare -metric AE "$work/shown.png" "$work/sim.png" null: 2>&1 || true)"
[ "$differing" = 0 ] || fail "the watched replay's last picture differs from tavro-sim's in $differing pixels"
note "dialog: Enter watched the top row's replay (at 4x) to tavro-sim's last picture"

# 2. The server stopped: the next ranked game waits in the outbox.
stop_server
play_ranked_game Wine2
wait_for "no replay waits in the outbox" 30 \
  bash -c "ls '$replays/outbox/'*.tavroreplay >/dev/null 2>&1"
sleep 2
close_with_ok
case "$(value status)" in
  ネットランキングのサーバーに接続できません*) ;;
  *) fail "the status bar said \"$(value status)\", not that the server cannot be reached" ;;
esac
[ "$(value shared_cut)" = 0 ] || fail "$(value shared_cut) text(s) of the ranking dialog are cut"
[ "$(value shared_rows)" = 1 ] || fail "the dialog showed $(value shared_rows) rows, not 1"
[ "$(value shared_row)" = "1 Wine $score $((level + 1))" ] ||
  fail "the dialog's row is \"$(value shared_row)\", not \"1 Wine $score $((level + 1))\""
ls "$replays/outbox/"*.tavroreplay >/dev/null 2>&1 || fail "the outbox was emptied without a server"
note "without the server the replay waits in the outbox; the dialog showed \"$(value shared_row)\""

start_server "$port"
start
wait_for "the waiting replay was not sent at the start" 120 ranked Wine2
wait_for "the sent replay stayed in the outbox" 30 \
  bash -c "! ls '$replays/outbox/'*.tavroreplay >/dev/null 2>&1"
sleep 1
close_with_ok
case "$(value status)" in
  ネットランキングに登録されました*) ;;
  *) fail "the status bar said \"$(value status)\" after the waiting replay was sent" ;;
esac
note "at the next start the waiting replay was sent: \"$(value status)\""
note "all passed"
