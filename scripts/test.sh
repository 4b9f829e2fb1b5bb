#!/usr/bin/env bash
# Sets everything up, builds, and runs every test under Wine; ends with CTest's summary.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/bootstrap.sh"
source "$root/scripts/wine-env.sh"
build="${ZQ_BUILD:-$root/build}"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)"
# One Wine session for the whole run, on a virtual display (the dialog tests
# need one, and a wineserver started without one breaks later runs under one).
wineserver -k 2>/dev/null || true
status=0
xvfb-run -a -s "-screen 0 1024x768x24" \
    ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "$@" || status=$?
wineserver -k 2>/dev/null || true
exit $status
