#!/usr/bin/env bash
# Plays about 25 s of a real game in the built desktop program under a
# virtual X server, driven by xdotool: rapid fire switched on from the menu,
# a game started from the menu, clicks and pointer sweeps during it, the sound
# switched off from the menu, then no more shots until the game is over and a
# name is typed into the name-entry dialog. Then:
#   - the runner verifies the session's replay (every game's score and level);
#   - the program plays the replay back with --replay, and its playfield after
#     the last frame, as the screen shows it, must equal the runner's picture
#     of the same replay;
#   - the exit command ends the playback at once, without a confirmation, and
#     neither the settings file nor the replays folder changes.
#
# Usage: scripts/desktop-replay.sh TAVRO TAVRO_SIM PLAYFIELD_SHOT
# Needs xvfb-run and xdotool.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
program="$(realpath "${1:?path to tavro}")"
sim="$(realpath "${2:?path to tavro-sim}")"
shot="$(realpath "${3:?path to playfield-shot}")"

if [ -z "${TAVRO_REPLAY_IN_XVFB:-}" ]; then
  exec env TAVRO_REPLAY_IN_XVFB=1 xvfb-run -a -s "-screen 0 800x700x24" "$0" "$program" "$sim" "$shot"
fi

fail() {
  echo "desktop-replay: FAIL: $*" >&2
  # TAVRO_REPLAY_KEEP=DIR keeps the replay and the pictures for a look
  if [ -n "${TAVRO_REPLAY_KEEP:-}" ]; then
    mkdir -p "$TAVRO_REPLAY_KEEP"
    cp -r "$work"/. "$TAVRO_REPLAY_KEEP"/ || true
  fi
  exit 1
}

# shellcheck source=desktop-session.sh
source "$here/desktop-session.sh"

export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
ini="$XDG_CONFIG_HOME/tavro/TAVRO.INI"
replays="$XDG_DATA_HOME/tavro/replays"

focus() {
  xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
}

# A menu item by its mnemonics: popup key, then item key.
menu() {
  focus "$main"
  xdotool key "alt+$1"
  sleep 0.3
  xdotool key "$2"
  sleep 0.3
}

# Pointer to playfield point ($1, $2); the playfield lies below the menu bar.
point() {
  xdotool mousemove --window "$main" "$1" $(($2 + 30))
}

# --- The session ---------------------------------------------------------
started=$SECONDS
"$program" &
pid=$!
main="$(wait_window --onlyvisible '^TAVRO Ver\.1\.5$' 10)" || fail "the main window did not appear"
sleep 1
menu c r # 設定 > 連射: rapid fire on (demo mode)
sleep 1
menu f s # ゲーム > 開始: a game
sleep 1.5
menu c s # 設定 > 効果音: sound off during the game
# Clicks and pointer sweeps (with rapid fire every move shoots) for a while.
for round in $(seq 5); do
  for x in 60 140 220 300 380 460; do
    point "$x" $((80 + (round * 37) % 260))
    sleep 0.05
  done
  point $((50 + round * 35)) 150
  # a frame or more after the move's own shot: one shot a frame
  sleep 0.1
  xdotool click 1
done
# Then the pointer rests outside the playfield until the ground has risen.
xdotool mousemove 790 690
dialog="$(wait_window --onlyvisible '^Name Entry$' 40)" || fail "the game did not end in a ranked game with a name dialog"
focus "$dialog"
xdotool type --delay 50 "Xvfb"
xdotool key Return
sleep 2
menu f x # ゲーム > 終了
wait_window --onlyvisible '^TAVRO$' 5 >/dev/null || fail "no exit confirmation appeared"
xdotool key Tab
sleep 0.1
xdotool key space
wait_exit 10 || fail "OK on the exit confirmation did not end the program"
[ "$status" -eq 0 ] || fail "exit code $status"
echo "desktop-replay: a session of $((SECONDS - started)) s was played"

# --- The runner verifies the replay ----------------------------------------
replay="$(ls "$replays"/*.tavroreplay 2>/dev/null | head -1)"
[ -n "$replay" ] || fail "no replay in $replays"
[ "$(ls "$replays" | wc -l)" -eq 1 ] || fail "more than one replay for one session"
grep -q '^[0-9]* name Xvfb$' "$replay" || fail "the typed name is not in the replay"
grep -q '^[0-9]* click ' "$replay" || fail "no click in the replay"
grep -q '^[0-9]* sound$' "$replay" || fail "the sound command is not in the replay"
verified="$("$sim" --verify "$replay")" || fail "the runner did not verify the replay: $verified"
echo "$verified" | grep -q '^verified: 1 game' || fail "expected one game: $verified"
echo "desktop-replay: $(basename "$replay") ($(wc -c <"$replay") bytes) $(echo "$verified" | tail -1)"
"$sim" --script "$replay" --png "$work/runner.png" >/dev/null || fail "the runner failed on the replay"

# --- Playback in the window ----------------------------------------------
cp "$ini" "$work/ini-before"
# from the first game on: the demo before it runs unseen
"$program" --replay "$replay" --from-game 1 &
pid=$!
main="$(wait_window --onlyvisible '^TAVRO Ver\.1\.5 - replay ended$' 60)" || fail "the playback did not end"
sleep 0.5
"$shot" "$main" "$work/runner.png" "$work/shown.png" || fail "the last frame shown differs from the runner's picture"
menu f x # the exit command ends a playback at once
wait_exit 5 || fail "the exit command did not end the playback"
[ "$status" -eq 0 ] || fail "exit code $status after the playback"
cmp -s "$ini" "$work/ini-before" || fail "the playback changed the settings file"
[ "$(ls "$replays" | wc -l)" -eq 1 ] || fail "the playback wrote a replay"
echo "desktop-replay: the playback ended on the runner's picture; $((SECONDS - started)) s in all"
echo "desktop-replay: 1 passed, 0 failed"
