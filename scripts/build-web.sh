#!/usr/bin/env bash
# Builds the browser program: the site folder (default build/web/site, or the
# folder given) with index.html, the page's scripts, tavro.js, tavro.wasm, the
# icon and the whole glyph table, the larger ones also packed (FILE.gz).
# Emscripten comes from Debian (scripts/setup.sh installs it). The build
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
# The effect generator's page build (bin/wavgen.js) comes along: the tests
# check that it writes res/sounds byte for byte.
cmake --build "$build" -j"$(nproc)" --target tavro_web wavgen

# Each text, code and glyph file packed ahead of time beside itself
# (FILE.gz), for servers that send it to browsers that take gzip; made anew
# only when the file is newer.
site=$root/$build/site
for file in "$site"/*.html "$site"/*.js "$site"/*.wasm "$site"/*.glyphs; do
  if [ ! -e "$file.gz" ] || [ "$file" -nt "$file.gz" ]; then gzip -9 -n -k -f "$file"; fi
done

if [ $# -gt 0 ]; then
  mkdir -p "$1"
  cp -p "$root/$build"/site/* "$1"/
  echo "site: $1"
else
  echo "site: $root/$build/site"
fi
