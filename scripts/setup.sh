#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev libicu-dev unicode-data
  libfreetype-dev libpng-dev fonts-unifont fonts-ipafont-gothic
  qt6-base-dev libgl-dev libsdl2-dev libsdl2-mixer-dev
  xvfb xauth xdotool imagemagick
  g++-mingw-w64-x86-64 googletest wine wine64 nsis
  emscripten chromium firefox-esr
  libcpp-httplib-dev libsqlite3-dev libpqxx-dev postgresql nlohmann-json3-dev
)
# The ranking server (board/) takes HTTP from cpp-httplib: Debian's 0.11 has
# what it needs (a thread pool, a body cap refused with 413 before it is
# read, streamed bodies, static folders, a logger and an orderly stop); JSON
# from nlohmann-json; SQLite and PostgreSQL (libpqxx) for its storage, and
# the postgresql server for the tests' throw-away clusters.
# npm comes with some builds of Node.js and is a package of its own in Debian.
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The browser tests' driver, puppeteer-core, at the version the lock file
# names; it drives the installed Chromium and downloads no browser.
web_tests=platform/web/tests
stamp=$web_tests/node_modules/.tavro-lock
if ! cmp -s "$web_tests/package-lock.json" "$stamp"; then
  echo "Installing the browser tests' npm packages"
  (cd "$web_tests" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
  cp "$web_tests/package-lock.json" "$stamp"
fi
