#!/usr/bin/env bash
# Runs the Windows program under Wine in a virtual X server and checks it
# against the headless runner:
#  1. it starts and shows its window with the menu bar over the playfield;
#     left alone for 11 s it runs on its waitable timer at about 50 frames a
#     second (the frame log gives the rate, measured and reported: only below
#     40 or above 60 is the loop at fault, and the processor time); with a
#     silent ALSA device for Wine's audio, the frame log names the sound path
#     that played, the one the mixer had open during the frames;
#  2. a session driven by the pointer and the menu, ended with OK on the exit
#     confirmation, exits with code 0 and writes a settings file and a
#     replay; tavro-sim finds the same scores in the replay and writes the
#     same settings file for its events;
#  3. `Tavro.exe --replay` of that session ends on the playfield that
#     `tavro-sim --png` draws for the same frame, pixel for pixel (read from a
#     screenshot of the window); the about dialog shows its texts whole;
#  4. started maximized, and asked to maximize from the system menu, the
#     window keeps its place and size; the end of the Windows session
#     (wineboot --end-session) saves the settings;
#  5. with the installer given, it installs and uninstalls silently, and the
#     uninstaller keeps the player's settings and replays; uninstalling while
#     the installed game runs asks for it to be closed, removes nothing
#     before, and everything once it is.
#
# Usage: scripts/test-windows-program.sh TAVRO_EXE TAVRO_SIM [TAVRO_SETUP_EXE]
# Uses $WINEPREFIX when set (made once per run by the caller), else a prefix
# of its own. Needs wine, xvfb-run, xdotool and ImageMagick.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
if [ $# -lt 2 ]; then
  echo "usage: $0 TAVRO_EXE TAVRO_SIM [TAVRO_SETUP_EXE]" >&2
  exit 2
fi
exe="$(realpath "$1")"
sim="$(realpath "$2")"
setup="${3:+$(realpath -m "$3")}"

if [ -z "${TAVRO_WINE_IN_XVFB:-}" ]; then
  exec env TAVRO_WINE_IN_XVFB=1 xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$exe" "$sim" ${setup:+"$setup"}
fi

# shellcheck source=desktop-session.sh
source "$here/desktop-session.sh"

# shellcheck disable=SC2034  # read by wine-session.sh
name=test-windows-program
# shellcheck source=wine-session.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine-session.sh"

# start [--maximized] [--program EXE] [ARGUMENTS...]: the program (the copy
# in the scratch folder unless told), shown maximized as a shortcut can ask.
start() {
  local launch=(wine) program="$work/Tavro.exe"
  if [ "${1:-}" = --maximized ]; then
    launch=(wine start /wait /max /unix)
    shift
  fi
  if [ "${1:-}" = --program ]; then
    program="$2"
    shift 2
  fi
  rm -f "$log"
  TAVRO_FRAME_LOG="$win_log" "${launch[@]}" "$program" "$@" >"$work/out.txt" 2>&1 &
  pid=$!
  main="$(wait_window '^TAVRO Ver\.1\.5' 60)" || fail "no window \"TAVRO Ver.1.5\""
}

# Where the program's window is and its size (a maximized one moves to the
# screen's corner, its border off the screen).
window_place() {
  xdo getwindowgeometry "$main" | awk '/Position:/ { p = $2 } /Geometry:/ { print p, $2 }'
}

# The exit confirmation, answered with OK (Cancel is its default button).
close_with_ok() {
  xdo key --window "$main" alt+F4
  local box
  box="$(wait_window '^TAVRO$' 10)" || fail "no exit confirmation"
  sleep 0.5
  xdo key --window "$box" Tab
  sleep 0.2
  xdo key --window "$box" Return
  wait_exit 20 || fail "the program did not end after OK"
  [ "$status" -eq 0 ] || fail "exit code $status after OK"
}

value() {
  tr -d '\r' <"$log" | awk -v key="$1" '$1 == key { $1 = ""; sub(/^ /, ""); print }'
}

# 1. The window, the frame rate, the processor time, the sound path.
# Wine's ALSA driver finds a device in a null PCM, so DirectSound opens.
if [ -f /usr/share/alsa/alsa.conf ]; then
  printf '</usr/share/alsa/alsa.conf>\npcm.!default { type null }\n' >"$work/alsa.conf"
  export ALSA_CONFIG_PATH="$work/alsa.conf"
fi
start
unset ALSA_CONFIG_PATH
sleep 11
normal_place="$(window_place)"
import -window root "$work/start.png"
close_with_ok
[ -f "$log" ] || fail "no frame log"
read -r cx cy <<<"$(value client)"
[ "$(value menu_items)" = 3 ] || fail "the menu bar has $(value menu_items) popups, not 3"
scale="$(value scale)"
side=$((512 * scale))
# The menu bar lies right above the playfield and is not black.
bar="$(convert "$work/start.png" -crop "${side}x6+${cx}+$((cy - 8))" -format '%[fx:mean]' info:)"
awk -v m="$bar" 'BEGIN { exit !(m > 0.3) }' || fail "no menu bar above the playfield (mean $bar)"
frames="$(value frames)"
seconds="$(value frame_seconds)"
rate="$(awk -v f="$frames" -v s="$seconds" 'BEGIN { printf "%.2f", (f - 1) / s }')"
cpu="$(value cpu_seconds)"
wall="$(value wall_seconds)"
sound="$(value sound)"
note "frame rate $rate per second, measured ($frames frames in $seconds s); processor time" \
  "$cpu s in $wall s ($(awk -v c="$cpu" -v w="$wall" 'BEGIN { printf "%.1f", 100 * c / w }')%);" \
  "sound: $sound; timer: $(value timer); scale $scale"
# The rate is the machine's to give; only one far from 50 is the loop's fault.
[ "$(value timer)" != none ] || fail "no waitable timer paces the frames"
awk -v r="$rate" 'BEGIN { exit !(r >= 40 && r <= 60) }' ||
  fail "frame rate $rate is outside 40 to 60: the frame loop is at fault"
case "$sound" in
  directsound | fallback) ;;
  *) fail "the frame log names no sound path (\"$sound\")" ;;
esac
[ "$sound" = "$(value sound_first_frame)" ] ||
  fail "the frame log says sound $sound, but $(value sound_first_frame) was open during the frames"
[ -f "$ini" ] || fail "no settings file after OK"
rm -rf "$user_dir/AppData/Roaming/TAVRO" "$user_dir/AppData/Local/TAVRO"

# 2. A played session: the menu starts a game, the pointer shoots.
start
sleep 2
xdo key --window "$main" alt+f
sleep 0.5
xdo key --window "$main" s
sleep 0.5
for i in $(seq 40); do
  xdo mousemove $((cx + (i * 97 % 480 + 16) * scale)) $((cy + (i * 61 % 300 + 40) * scale)) click 1
  sleep 0.2
done
close_with_ok
[ -f "$ini" ] || fail "no settings file after the session"
record="$(find "$replays" -name '*.tavroreplay' | head -1)"
[ -n "$record" ] || fail "no replay recorded"
grep -q ' start$' "$record" || fail "the menu did not start a game"
grep -q ' click ' "$record" || fail "no shot was recorded"
"$sim" --verify "$record" --png "$work/sim.png" >"$work/verify.txt" || {
  cat "$work/verify.txt"
  fail "tavro-sim finds other scores in the replay"
}
note "$(tail -1 "$work/verify.txt")"
"$sim" --script "$record" --ini "$work/sim.ini" >/dev/null
# the same file, in the CRLF lines of a new file on Windows
sed 's/$/\r/' "$work/sim.ini" | cmp "$ini" - || fail "the settings file differs from tavro-sim's"

# 3. The replay in the window ends on tavro-sim's picture.
cp "$record" "$work/session.tavroreplay"
start --replay "$(winepath -w "$work/session.tavroreplay")"
wait_window 'replay ended' 120 >/dev/null || fail "the replay did not end"
sleep 0.5
import -window root "$work/replay.png"
xdo key --window "$main" alt+F4
wait_exit 20 || fail "the replay window did not close"
read -r cx cy <<<"$(value client)"
convert "$work/replay.png" -crop "${side}x${side}+${cx}+${cy}" +repage -scale "512x512" "$work/shown.png"
differing="$(compare -metric AE "$work/shown.png" "$work/sim.png" null: 2>&1 || true)"
[ "$differing" = 0 ] || fail "the replay's last picture differs from tavro-sim's in $differing pixels"
note "replay: last picture identical to tavro-sim --png"

# During a replay the menu shows the version and ends the program, as on
# Linux; the exit asks nothing.
start --replay "$(winepath -w "$work/session.tavroreplay")"
sleep 1
xdo key --window "$main" alt+h
sleep 0.5
xdo key --window "$main" a
about="$(wait_window 'バージョン情報' 10)" || fail "the about dialog did not open during a replay"
sleep 0.5
xdo key --window "$about" Return
sleep 1
xdo key --window "$main" alt+f
sleep 0.5
xdo key --window "$main" x
wait_exit 20 || fail "the exit command did not end the replay"
[ "$(value about_cut)" = 0 ] || fail "$(value about_cut) text(s) of the about dialog are cut"
note "replay: the about dialog (its texts whole) and the exit work from the menu"

# 4. No maximizing: started maximized, and from the system menu (Alt+Space,
# Maximize), the window keeps its place and size. The end of the Windows
# session saves the settings.
rm -rf "$user_dir/AppData/Roaming/TAVRO"
start --maximized
sleep 2
[ "$(window_place)" = "$normal_place" ] ||
  fail "started maximized, the window is at $(window_place), not $normal_place"
xdo key --window "$main" alt+space
sleep 0.5
xdo key --window "$main" x
sleep 0.5
xdo key --window "$main" Escape
sleep 0.2
xdo key --window "$main" Escape
sleep 0.5
[ "$(window_place)" = "$normal_place" ] ||
  fail "the system menu's Maximize put the window at $(window_place), not $normal_place"
note "maximize: the window stays at $normal_place"
wineboot --end-session >/dev/null 2>&1 || true
wait_exit 20 || fail "the program did not end with the session"
[ -f "$ini" ] || fail "no settings file after the end of the session"

# 4b. The end of the session while a name is being typed keeps the name.
rm -rf "$user_dir/AppData/Roaming/TAVRO"
mkdir -p "$(dirname "$ini")"
printf '[ENVIRONMENT]\r\nRapidFlag=1\r\nSoundFlag=0\r\n' >"$ini"
start
sleep 2
xdo key --window "$main" alt+f
sleep 0.5
xdo key --window "$main" s
sleep 1
# with rapid fire every move shoots; then the rocks end the game
for round in $(seq 6); do
  for x in 60 140 220 300 380 460; do
    xdo mousemove $((cx + x * scale)) $((cy + (80 + (round * 37) % 260) * scale))
    sleep 0.05
  done
done
xdo mousemove 0 0
dialog="$(wait_window '^Name Entry$' 60)" || fail "the game did not end with the name dialog"
sleep 0.5
xdo windowfocus "$dialog"
xdo type --delay 80 "Wine"
sleep 0.5
wineboot --end-session >/dev/null 2>&1 || true
wait_exit 20 || fail "the program did not end with the session (name dialog open)"
tr -d '\r' <"$ini" | grep -qx '1_Name=Wine' ||
  fail "the typed name was not kept: $(tr -d '\r' <"$ini" | grep '^1_Name=')"
note "end of session with the name dialog open: the typed name was kept"

# 5. The installer.
if [ -n "$setup" ] && [ ! -f "$setup" ]; then
  note "no installer at $setup (build package_windows): not tested"
elif [ -n "$setup" ]; then
  programs="$user_dir/AppData/Local/Programs/TAVRO"
  wine "$setup" /S >/dev/null 2>&1 || fail "the installer failed"
  wineserver -w
  [ -f "$programs/Tavro.exe" ] || fail "the installer put no Tavro.exe in $programs"
  [ -f "$programs/Uninstall.exe" ] || fail "no uninstaller"
  find "$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu" -name 'TAVRO*.lnk' | grep -q . ||
    fail "no Start-menu shortcut"
  mkdir -p "$(dirname "$ini")" && touch "$ini"
  # the uninstaller runs on from a copy of itself: wait for every process
  wine "$programs/Uninstall.exe" /S >/dev/null 2>&1 || fail "the uninstaller failed"
  wineserver -w
  [ ! -e "$programs/Tavro.exe" ] || fail "the uninstaller left Tavro.exe"
  [ -f "$ini" ] || fail "the uninstaller removed the settings file"
  note "installer: installed and uninstalled silently, settings kept"

  # Uninstalling while the installed game runs. The uninstaller's boxes bear
  # its window's title; a box is any other window of that title.
  uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TAVRO'
  uninstaller_box() {
    local id
    for _ in $(seq $(($1 * 10))); do
      for id in $(xdotool search --onlyvisible --name '^TAVRO Uninstall' 2>/dev/null); do
        if [ "$id" != "$uninstaller" ]; then
          echo "$id"
          return 0
        fi
      done
      sleep 0.1
    done
    return 1
  }
  nothing_removed() {
    [ -f "$programs/Tavro.exe" ] && [ -f "$programs/Uninstall.exe" ] &&
      find "$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu" -name 'TAVRO*.lnk' | grep -q . &&
      wine reg query "$uninstall_key" >/dev/null 2>&1
  }
  wine "$setup" /S >/dev/null 2>&1 || fail "the installer failed the second time"
  wineserver -w
  start --program "$programs/Tavro.exe"
  sleep 2
  wine "$programs/Uninstall.exe" >/dev/null 2>&1 &
  uninstaller="$(wait_window --onlyvisible '^TAVRO Uninstall' 30)" || fail "no uninstaller window"
  sleep 1
  xdo key --window "$uninstaller" Return # the confirmation page's Uninstall
  box="$(uninstaller_box 30)" || fail "the uninstaller did not ask for the running game to be closed"
  nothing_removed || fail "the uninstaller removed something while the game runs"
  # Retry with the game still open: asked again.
  xdo key --window "$box" Return
  for _ in $(seq 100); do
    xdo getwindowname "$box" >/dev/null || break
    sleep 0.1
  done
  box="$(uninstaller_box 30)" || fail "Retry with the game still open did not ask again"
  nothing_removed || fail "the uninstaller removed something while the game runs"
  # The box has the focus: a click on the menu bar's free end gives it back
  # to the game, to be closed.
  eval "$(xdo getwindowgeometry --shell "$main")"
  xdo mousemove $((X + WIDTH - 20)) $((Y + 8)) click 1
  sleep 0.5
  close_with_ok
  xdo key --window "$box" Return # Retry, the game closed
  for _ in $(seq 300); do
    [ -e "$programs" ] || break
    sleep 0.1
  done
  [ ! -e "$programs" ] || fail "with the game closed the uninstaller left $(ls "$programs")"
  sleep 1
  xdo key --window "$uninstaller" Return # the last page's Close
  for _ in $(seq 100); do
    xdo getwindowname "$uninstaller" >/dev/null || break
    sleep 0.1
  done
  ! xdo getwindowname "$uninstaller" >/dev/null || fail "the uninstaller did not close"
  wineserver -w
  ! find "$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu" -name 'TAVRO*.lnk' | grep -q . ||
    fail "the uninstaller left the shortcut"
  ! wine reg query "$uninstall_key" >/dev/null 2>&1 || fail "the uninstaller left its entry"
  [ -f "$ini" ] || fail "the uninstaller removed the settings file"
  note "installer: uninstalling while the game runs asked twice for it to be closed, then removed it all"
fi
note "all passed"
