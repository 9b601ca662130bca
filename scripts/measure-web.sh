#!/usr/bin/env bash
# Measures the browser program in headless Chromium: file sizes, load to
# first frame, frame rate and processor use over ten seconds (or the seconds
# given) of the demo; screenshots at desktop and phone size go to
# build/web/shots.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${TAVRO_WEB_BUILD:-build/web}
TAVRO_WEB_BUILD=$build bash scripts/build-web.sh >/dev/null
node platform/web/tests/measure_page.js "$build/site" "$build/shots" "${1:-10}"
