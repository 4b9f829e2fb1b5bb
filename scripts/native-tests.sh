#!/usr/bin/env bash
# Builds the platform-free code natively with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer, runs its unit tests and replays every fuzz
# target's corpus; ends with CTest's summary and exits with CTest's status.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${ZQ_NATIVE_BUILD:-$root/build-native}"
cmake -S "$root" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure --no-tests=error -j"$(nproc)" "$@"
