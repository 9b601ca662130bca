#!/usr/bin/env bash
# Starts the built desktop program in a virtual X server, lets it run,
# resizes it from outside (it must take its size back), answers the exit
# confirmation once with Cancel (the program must go on) and once with OK,
# checks that the confirmation is centred over the window, and that the
# program ended with code 0 and wrote its settings file. A second run ends it
# with SIGTERM and checks the same; a third at a device pixel ratio of 2
# checks that the window fits the screen.
#
# Usage: scripts/desktop-smoke.sh [path/to/tavro]   (default: build/bin/tavro)
# Needs xvfb-run and xdotool.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
program="$(realpath "${1:-$here/../build/bin/tavro}")"

if [ -z "${TAVRO_SMOKE_IN_XVFB:-}" ]; then
  exec env TAVRO_SMOKE_IN_XVFB=1 xvfb-run -a -s "-screen 0 800x700x24" "$0" "$program"
fi

fail() {
  echo "desktop-smoke: FAIL: $*" >&2
  exit 1
}

# shellcheck source=desktop-session.sh
source "$here/desktop-session.sh"

export XDG_CONFIG_HOME="$work/config"
ini="$XDG_CONFIG_HOME/tavro/TAVRO.INI"

# Sets X, Y, WIDTH and HEIGHT to the geometry of window $1.
geometry() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
}

# Fails unless window $1 is centred over the main window (within 2 pixels).
check_centred() {
  local bx by mx my
  geometry "$1"
  bx=$((2 * X + WIDTH))
  by=$((2 * Y + HEIGHT))
  geometry "$main"
  mx=$((2 * X + WIDTH))
  my=$((2 * Y + HEIGHT))
  [ $(((bx - mx) / 2)) -ge -2 ] && [ $(((bx - mx) / 2)) -le 2 ] &&
    [ $(((by - my) / 2)) -ge -2 ] && [ $(((by - my) / 2)) -le 2 ] ||
    fail "the box is not centred over the window (centres differ by $(((bx - mx) / 2)),$(((by - my) / 2)))"
}

# Keys go to the focused window through the X test extension, so that each
# press is followed by its release even when the press closes the box (a key
# sent to a window that has gone would stay down and repeat).
press() {
  xdotool key "$@"
}

# Asks to end the program through the menu: Game (Alt+F), Exit (X).
ask_exit() {
  xdotool windowfocus --sync "$main" 2>/dev/null || xdotool windowfocus "$main"
  press alt+f
  sleep 0.3
  press x
  wait_window --onlyvisible '^TAVRO$' 5 || fail "no exit confirmation appeared"
}

# Run 1: menu, Cancel, then OK.
"$program" &
pid=$!
main="$(wait_window --onlyvisible '^TAVRO Ver\.1\.5$' 10)" || fail "the main window did not appear"
sleep 2
kill -0 "$pid" 2>/dev/null || fail "the program ended on its own"

# A size given from outside is put back.
geometry "$main"
size="${WIDTH}x$HEIGHT"
xdotool windowsize "$main" $((WIDTH + 150)) $((HEIGHT + 100))
for _ in $(seq 20); do
  sleep 0.1
  geometry "$main"
  [ "${WIDTH}x$HEIGHT" = "$size" ] && break
done
[ "${WIDTH}x$HEIGHT" = "$size" ] || fail "the window kept the size ${WIDTH}x$HEIGHT given from outside"
echo "desktop-smoke: the window took its size $size back"

box="$(ask_exit)"
check_centred "$box"
# Cancel is the default button: Enter answers Cancel.
press Return
sleep 0.5
kill -0 "$pid" 2>/dev/null || fail "Cancel on the exit confirmation ended the program"
[ -z "$(xdotool search --onlyvisible --name '^TAVRO$' 2>/dev/null || true)" ] ||
  fail "the exit confirmation stayed open after Enter"
[ ! -e "$ini" ] || fail "the settings file was written before the program ended"
echo "desktop-smoke: Cancel kept the program running"

box="$(ask_exit)"
# No key left over from the first box answers this one.
sleep 0.7
[ -n "$(xdotool search --onlyvisible --name '^TAVRO$' 2>/dev/null || true)" ] ||
  fail "the second exit confirmation closed by itself"
# Tab moves from Cancel to OK; Space presses it.
press Tab
sleep 0.1
press space
wait_exit 10 || fail "OK on the exit confirmation did not end the program"
[ "$status" -eq 0 ] || fail "exit code $status after OK"
[ -s "$ini" ] || fail "no settings file at $ini after OK"
echo "desktop-smoke: OK ended the program with code 0 and wrote $ini"

# Run 2: SIGTERM saves too.
rm -f "$ini"
"$program" &
pid=$!
wait_window --onlyvisible '^TAVRO Ver\.1\.5$' 10 >/dev/null || fail "the main window did not appear (second run)"
sleep 1
kill -TERM "$pid"
wait_exit 10 || fail "SIGTERM did not end the program"
[ "$status" -eq 0 ] || fail "exit code $status after SIGTERM"
[ -s "$ini" ] || fail "no settings file after SIGTERM"
echo "desktop-smoke: SIGTERM ended the program with code 0 and wrote the settings file"

# Run 3: at a device pixel ratio of 2 the window fits the screen.
QT_SCALE_FACTOR=2 "$program" &
pid=$!
main="$(wait_window --onlyvisible '^TAVRO Ver\.1\.5$' 10)" || fail "the main window did not appear (third run)"
sleep 1
geometry "$main"
screen="$(xdotool getdisplaygeometry)"
[ "$WIDTH" -le "${screen% *}" ] && [ "$HEIGHT" -le "${screen#* }" ] && [ "$WIDTH" -ge 512 ] ||
  fail "at ratio 2 the window is ${WIDTH}x$HEIGHT on a screen of $screen"
kill -TERM "$pid"
wait_exit 10 || fail "SIGTERM did not end the program (third run)"
echo "desktop-smoke: at ratio 2 the window (${WIDTH}x$HEIGHT) fits the screen ($screen)"
echo "desktop-smoke: 1 passed, 0 failed"
