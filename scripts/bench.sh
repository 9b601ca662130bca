#!/usr/bin/env bash
# Builds the benchmarks optimised and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DTAVRO_BUILD_TESTS=OFF \
  -DTAVRO_BUILD_DESKTOP=OFF >/dev/null
cmake --build build/bench -j"$(nproc)" --target tavro_bench
build/bench/bin/tavro_bench "$@"
