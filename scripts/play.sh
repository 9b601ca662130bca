#!/usr/bin/env bash
# Sets up the machine, builds the game and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DTAVRO_BUILD_TESTS=OFF \
  -DTAVRO_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build/release -j"$(nproc)" --target tavro
exec build/release/bin/tavro "$@"
