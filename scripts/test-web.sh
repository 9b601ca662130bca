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
node platform/web/tests/page_test.js "$build/site" "$sim"
node platform/web/tests/ranking_tabs_test.js "$build/site"
node platform/web/tests/replays_test.js "$build/site" "$sim"
node platform/web/tests/online_test.js "$build/site" "$sim" "$(dirname "$sim")/tavro-board"
