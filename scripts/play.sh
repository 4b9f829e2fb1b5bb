#!/usr/bin/env bash
# Sets everything up, builds, and runs the player on the bundled demo project.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/bootstrap.sh"
source "$root/scripts/wine-env.sh"
build="${ZQ_BUILD:-$root/build}"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target zqplay zqbitmap
wineserver -k 2>/dev/null || true
status=0
xvfb-run -a "$root/cmake/wine-run.sh" "$build/bin/zqplay.exe" "$build/bin/zqbitmap.dll" "$@" || status=$?
wineserver -k 2>/dev/null || true
exit $status
