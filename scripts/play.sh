#!/usr/bin/env bash
# Sets everything up, builds, and runs the player on the bundled demo project.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/configure.sh"
zq_setup
cmake --build "$build" -j"$(nproc)" --target zqplay zqbitmap
project=$(realpath "${1:-$root/hostsim/player/demo.zqp}")
# The demo writes its pictures into the current folder: the build's bin folder.
cd "$build/bin"
zq_windows_side "$root/cmake/wine-run.sh" zqplay.exe zqbitmap.dll "$project"
