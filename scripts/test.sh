#!/usr/bin/env bash
# Sets up the machine, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, builds the fuzz targets with clang, and runs
# the whole test suite; then the browser program's tests in headless Chromium
# and the Windows build's tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
fuzz_dir=build/fuzz
cmake -S . -B "$fuzz_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTAVRO_BUILD_FUZZERS=ON -DTAVRO_SANITIZE=ON -DTAVRO_BUILD_TESTS=OFF \
  -DTAVRO_BUILD_BENCHMARKS=OFF -DTAVRO_BUILD_DESKTOP=OFF >/dev/null
cmake --build "$fuzz_dir" --target fuzzers -j"$jobs"

test_dir=build/test
cmake -S . -B "$test_dir" -DCMAKE_BUILD_TYPE=Debug -DTAVRO_SANITIZE=ON \
  -DTAVRO_FUZZ_BINARY_DIR="$PWD/$fuzz_dir/bin" >/dev/null
cmake --build "$test_dir" -j"$jobs"

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
ctest --test-dir "$test_dir" --output-on-failure -j"$jobs" --timeout 300

bash scripts/test-web.sh "$test_dir/bin/tavro-sim"

bash scripts/test-windows.sh
