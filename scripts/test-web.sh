#!/usr/bin/env bash
# Builds the browser program and runs its end-to-end tests in headless
# Chromium; the scripted session is compared with the Linux runner given
# (default: the test build's tavro-sim).
set -euo pipefail
cd "$(dirname "$0")/.."

sim=${1:-build/test/bin/tavro-sim}
bash scripts/build-web.sh >/dev/null
node platform/web/tests/page_test.js build/web/site "$sim"
