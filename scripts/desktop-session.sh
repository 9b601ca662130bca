# shellcheck shell=bash
# Sourced by the desktop scripts and the Windows program's test once they run
# inside the virtual X server: a scratch folder, silent audio (the Linux
# program's SDL sound), the program ($pid) killed and the folder removed on
# exit, and the waits for a window and for the program's end.
work="$(mktemp -d)"
pid=""
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
export SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}"

# Prints the id of the first window whose title matches $1, waiting up to $2
# seconds for it. With --onlyvisible first, only a mapped window counts.
wait_window() {
  local only=() id=""
  if [ "$1" = --onlyvisible ]; then
    only=(--onlyvisible)
    shift
  fi
  for _ in $(seq $(($2 * 10))); do
    id="$(xdotool search "${only[@]}" --name "$1" 2>/dev/null | head -1 || true)"
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# Waits up to $1 seconds for the program to end; sets status (for the
# sourcing script).
# shellcheck disable=SC2034
wait_exit() {
  for _ in $(seq $(($1 * 10))); do
    if ! kill -0 "$pid" 2>/dev/null; then
      status=0
      wait "$pid" || status=$?
      pid=""
      return 0
    fi
    sleep 0.1
  done
  return 1
}
