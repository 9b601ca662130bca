#!/usr/bin/env bash
# Measures the browser program in headless Chromium: file sizes, load to
# first frame; frame rate and processor use over thirty seconds (or the
# seconds given) of the demo beside a trivial page that only shows a
# 512 x 512 picture 50 times a second; the game's frame rate on displays
# emulated at 30, 60 and 144 Hz. Screenshots at desktop and phone size go to
# the build folder's shots/ (build/web unless TAVRO_WEB_BUILD names another).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${TAVRO_WEB_BUILD:-build/web}
TAVRO_WEB_BUILD=$build bash scripts/build-web.sh >/dev/null
node platform/web/tests/measure_page.js "$build/site" "$build/shots" "${1:-30}"
