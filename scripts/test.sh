#!/usr/bin/env bash
# Sets everything up, builds, runs the platform-free tests natively under the
# sanitizers, then every test under Wine; ends with CTest's summary.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/bootstrap.sh"
source "$root/scripts/route.sh"
source "$root/scripts/configure.sh"
zq_configure
cmake --build "$build" -j"$(nproc)"
status=0
# With test names given, they are the Windows side's.
if [ $# -eq 0 ]; then
    bash "$root/scripts/native-tests.sh" || status=$?
fi
zq_windows_side ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "$@" || status=$?
exit $status
