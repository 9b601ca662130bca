#!/usr/bin/env bash
# Builds the browser program and serves it on this machine to play:
# http://localhost:8000/ (or the port given).
set -euo pipefail
cd "$(dirname "$0")/.."

port=${1:-8000}
build=${TAVRO_WEB_BUILD:-build/web}
TAVRO_WEB_BUILD=$build bash scripts/build-web.sh >/dev/null
echo "TAVRO in the browser: http://localhost:$port/  (Ctrl+C stops the server)"
exec python3 scripts/serve_site.py "$build/site" "$port"
