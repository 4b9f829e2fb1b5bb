#!/usr/bin/env bash
# Sets everything up, builds, and runs the player on the bundled demo project.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/bootstrap.sh"
source "$root/scripts/route.sh"
build="${ZQ_BUILD:-$root/build}"
# Configured once; the build configures again when a CMake file changes. A
# needless configure rewrites CTest's lists of test cases, which then have to
# be read again from every test program (minutes under emulation).
[ -f "$build/CMakeCache.txt" ] ||
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
          -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target zqplay zqbitmap
project=$(realpath "${1:-$root/hostsim/player/demo.zqp}")
# The demo writes its pictures into the current folder: the build's bin folder.
cd "$build/bin"
zq_windows_side "$root/cmake/wine-run.sh" zqplay.exe zqbitmap.dll "$project"
