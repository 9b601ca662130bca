#!/usr/bin/env bash
# Runs the Windows program under Wine in a virtual X server and checks it
# against the headless runner:
#  1. it starts and shows its window with the menu bar over the playfield;
#     left alone for 11 s it runs 50 frames a second (the frame log gives the
#     rate and the processor time) and says which sound path ran;
#  2. a session driven by the pointer and the menu, ended with OK on the exit
#     confirmation, exits with code 0 and writes a settings file and a
#     replay; tavro-sim finds the same scores in the replay and writes the
#     same settings file for its events;
#  3. `Tavro.exe --replay` of that session ends on the playfield that
#     `tavro-sim --png` draws for the same frame, pixel for pixel (read from a
#     screenshot of the window);
#  4. the end of the Windows session (wineboot --end-session) saves the
#     settings;
#  5. with the installer given, it installs and uninstalls silently, and the
#     uninstaller keeps the player's settings and replays.
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
setup="${3:+$(realpath "$3")}"

if [ -z "${TAVRO_WINE_IN_XVFB:-}" ]; then
  exec env TAVRO_WINE_IN_XVFB=1 xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$exe" "$sim" ${setup:+"$setup"}
fi

# shellcheck source=desktop-session.sh
source "$here/desktop-session.sh"

# xdotool, without its complaints about the window manager that is not there.
xdo() {
  xdotool "$@" 2>/dev/null
}

fail() {
  echo "test-windows-program: FAIL: $*" >&2
  exit 1
}
note() {
  echo "test-windows-program: $*"
}

export WINEDEBUG=-all
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX="$work/wine"
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  note "creating the Wine prefix (slow once)"
  wineboot -i >/dev/null 2>&1
fi
wineserver -w
# Japanese menu and dialog texts: the system's UI font falls back on the IPA
# Gothic, as Windows' own fonts fall back on a Japanese font.
if [ ! -f "$WINEPREFIX/.tavro-fonts" ]; then
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v Tahoma /t REG_MULTI_SZ /d 'ipagp.ttf,IPAPGothic' /f >/dev/null 2>&1
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
    /v 'ＭＳ Ｐゴシック' /t REG_SZ /d 'IPAPGothic' /f >/dev/null 2>&1
  touch "$WINEPREFIX/.tavro-fonts"
fi

user_dir="$(winepath -u 'C:\users' 2>/dev/null)/$(id -un)"
[ -d "$user_dir" ] || user_dir="$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -1)"
ini="$user_dir/AppData/Roaming/TAVRO/TAVRO.INI"
replays="$user_dir/AppData/Local/TAVRO/replays"
rm -rf "$user_dir/AppData/Roaming/TAVRO" "$user_dir/AppData/Local/TAVRO"

cp "$exe" "$work/Tavro.exe"
log="$work/frames.log"
win_log="$(winepath -w "$log")"

start() {
  rm -f "$log"
  TAVRO_FRAME_LOG="$win_log" wine "$work/Tavro.exe" "$@" >"$work/out.txt" 2>&1 &
  pid=$!
  main="$(wait_window '^TAVRO Ver\.1\.5' 60)" || fail "no window \"TAVRO Ver.1.5\""
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
start
sleep 11
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
note "frame rate $rate per second ($frames frames in $seconds s); processor time $cpu s in $wall s" \
  "($(awk -v c="$cpu" -v w="$wall" 'BEGIN { printf "%.1f", 100 * c / w }')%); sound: $(value sound);" \
  "timer: $(value timer); scale $scale"
awk -v r="$rate" 'BEGIN { exit !(r >= 49.5 && r <= 50.5) }' || fail "frame rate $rate is not 50 +- 0.5"
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
cmp "$ini" "$work/sim.ini" || fail "the settings file differs from tavro-sim's"

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
note "replay: the about dialog and the exit work from the menu"

# 4. The end of the Windows session saves the settings.
rm -rf "$user_dir/AppData/Roaming/TAVRO"
start
sleep 2
wineboot --end-session >/dev/null 2>&1 || true
wait_exit 20 || fail "the program did not end with the session"
[ -f "$ini" ] || fail "no settings file after the end of the session"

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
fi
note "all passed"
