#!/usr/bin/env bash
# Builds the browser program and runs its end-to-end tests in headless
# Chromium and Firefox; the scripted session and the replays are compared with
# (and checked by) the Linux runner given (default: the test build's
# tavro-sim); the shared ranking's test runs the tavro-board beside it.
# TAVRO_WEB_BUILD names another build folder than build/web.
set -euo pipefail
cd "$(dirname "$0")/.."

sim=${1:-build/test/bin/tavro-sim}
build=${TAVRO_WEB_BUILD:-build/web}
TAVRO_WEB_BUILD=$build bash scripts/build-web.sh >/dev/null

# The page makes its effects with the generator's browser build: it writes
# res/sounds byte for byte, and the program carries no PCM of its own (nor
# the whole glyph table).
sounds=$(mktemp -d)
trap 'rm -rf "$sounds"' EXIT
node "$build/bin/wavgen.js" "$sounds" >/dev/null
for wave in res/sounds/*.wav; do
  cmp "$wave" "$sounds/$(basename "$wave")"
done
wasm=$build/site/tavro.wasm
if grep -q -a "WAVEfmt " "$wasm" || [ "$(stat -c %s "$wasm")" -gt 1000000 ]; then
  echo "$wasm carries wave files or the whole glyph table" >&2
  exit 1
fi
echo "wavgen.js writes res/sounds; tavro.wasm: $(stat -c %s "$wasm") bytes, no wave files"
node platform/web/tests/page_test.js "$build/site" "$sim"
node platform/web/tests/ranking_tabs_test.js "$build/site"
node platform/web/tests/replays_test.js "$build/site" "$sim"
node platform/web/tests/online_test.js "$build/site" "$sim" "$(dirname "$sim")/tavro-board"
