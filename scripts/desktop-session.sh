# Sourced by the desktop scripts once they run inside the virtual X server:
# a scratch folder, silent audio, and the program ($pid) killed and the
# folder removed on exit.
work="$(mktemp -d)"
pid=""
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
export SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}"
