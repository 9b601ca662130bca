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
)

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
