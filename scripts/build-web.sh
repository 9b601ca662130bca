#!/usr/bin/env bash
# Builds the browser program: the site folder (default build/web/site, or the
# folder given) with index.html, tavro-page.js, tavro.js, tavro.wasm and the
# icon. Emscripten comes from Debian (scripts/setup.sh installs it). The build
# folder is build/web unless TAVRO_WEB_BUILD names another.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${TAVRO_WEB_BUILD:-build/web}

bash scripts/setup.sh

# Debian's Emscripten runs its JavaScript tools with the system's node, which
# finds Debian's own modules (acorn) only through NODE_PATH; its Python tools
# want the system's Python.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
export EMSDK_PYTHON=${EMSDK_PYTHON:-/usr/bin/python3}

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
emcmake cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target tavro_web

if [ $# -gt 0 ]; then
  mkdir -p "$1"
  cp "$root/$build"/site/* "$1"/
  echo "site: $1"
else
  echo "site: $root/$build/site"
fi
