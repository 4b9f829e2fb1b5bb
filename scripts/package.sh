#!/usr/bin/env bash
# Makes the release package: build/zqbitmap-VERSION.zip (ZQ_BUILD moves it),
# holding the DLL, zqplay.exe, the bundled projects with their pictures, the
# authors' guide (its settings generated from the components' field tables by
# zqplay --guide), the licence and SHA256SUMS. Sets up and builds what it needs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/configure.sh"
zq_setup
cmake --build "$build" -j"$(nproc)" --target zqplay zqbitmap
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
settings="$build/package-settings.md"
rm -f "$settings"
# The guide's settings, from the player's copy of the field tables: the
# player runs on the Windows side, which writes into the shared build folder.
zq_windows_side sh -c "'$root/cmake/wine-run.sh' '$build/bin/zqplay.exe' --guide >'$settings'"
[ -s "$settings" ] || { echo "zq: zqplay --guide gave nothing" >&2; exit 1; }
python3 "$root/scripts/package.py" --root "$root" --build "$build" --version "$version" --settings "$settings"
