#!/usr/bin/env bash
# Sets everything up, builds, runs the platform-free tests natively under the
# sanitizers, then every test under Wine; ends with CTest's summary.
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
cmake --build "$build" -j"$(nproc)"
status=0
# With test names given, they are the Windows side's.
if [ $# -eq 0 ]; then
    bash "$root/scripts/native-tests.sh" || status=$?
fi
zq_windows_side ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "$@" || status=$?
exit $status
