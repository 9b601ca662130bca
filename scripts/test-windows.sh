#!/usr/bin/env bash
# Cross-builds the Windows programs and the portable test suites with
# MinGW-w64 (build/windows) and runs the tests under Wine, in a Wine prefix
# made afresh for the run inside the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
build_dir=build/windows
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# The Linux build's runner (scripts/test.sh makes it first) is what the
# Windows programs are checked against.
linux_sim=${TAVRO_LINUX_SIM:-$PWD/build/test/bin/tavro-sim}
[ -x "$linux_sim" ] || linux_sim=
# Its ranking server, beside it, for the shared ranking's test.
linux_board=${TAVRO_LINUX_BOARD:-${linux_sim:+$(dirname "$linux_sim")/tavro-board}}
[ -n "$linux_board" ] && [ -x "$linux_board" ] || linux_board=
cmake -S . -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DTAVRO_SIM_PROGRAM="$linux_sim" \
  -DTAVRO_BOARD_PROGRAM="$linux_board" "${launcher[@]}" >/dev/null
cmake --build "$build_dir" -j"$jobs"
cmake --build "$build_dir" --target package_windows

export WINEPREFIX="$PWD/$build_dir/wine"
export WINEDEBUG=-all
# no offers to install Mono or Gecko while the prefix is made
export WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
# The prefix is made, and its Wine server has ended (the registry written),
# before the tests start.
wineboot -i >/dev/null 2>&1 </dev/null
wineserver -w
# A Wine program that starts just as the Wine server ends (after the last
# program of the one before) can lose its connection ("recvmsg: Connection
# reset by peer") before it runs at all; such a test is run once more. A
# real failure fails both times.
ctest --test-dir "$build_dir" --output-on-failure -j"$jobs" --timeout 300 --repeat until-pass:2
