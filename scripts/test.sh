#!/usr/bin/env bash
# Sets everything up, builds, runs the platform-free tests natively under the
# sanitizers, then every test under Wine; ends with CTest's summary.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/configure.sh"
zq_setup
cmake --build "$build" -j"$(nproc)"
status=0
# With test names given, they are the Windows side's.
if [ $# -eq 0 ]; then
    bash "$root/scripts/native-tests.sh" || status=$?
fi
# The Windows side's own clean-up, interrupted: outside any run, as it takes
# the machine-wide lock that the run below holds.
if [ $# -eq 0 ] && [ "$(zq_route)" = native ]; then
    python3 "$root/tests/scripts/in_wine_interrupt_test.py" || status=$?
fi
# A folder without tests (a failed build, a wrong ZQ_BUILD) is an error.
zq_windows_side ctest --test-dir "$build" --output-on-failure --no-tests=error -j"$(nproc)" "$@" || status=$?
exit $status
