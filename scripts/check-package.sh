#!/usr/bin/env bash
# Checks the release package as an author receives it: unpacked into a fresh
# folder, its sums verified, its DLL the very one the tests ran (when
# build/tested-dll.sha256 records it), and the bundled projects played from
# there with the player and the DLL inside it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/configure.sh"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
zip="$build/zqbitmap-$version.zip"
[ -f "$zip" ] || { echo "zq: no package at $zip (scripts/package.sh makes it)" >&2; exit 1; }
# Inside the checkout's build folder: the emulated machine sees it too.
fresh="$build/package-check"
rm -rf "$fresh"
mkdir -p "$fresh"
python3 -m zipfile -e "$zip" "$fresh"
unpacked="$fresh/zqbitmap-$version"
(cd "$unpacked" && sha256sum --quiet -c SHA256SUMS)
echo "zq: the package's sums hold"
if [ -f "$build/tested-dll.sha256" ]; then
    [ "$(sha256sum <"$unpacked/zqbitmap.dll" | cut -d' ' -f1)" = "$(cut -d' ' -f1 "$build/tested-dll.sha256")" ] ||
        { echo "zq: the packaged DLL is not the one the tests ran" >&2; exit 1; }
    echo "zq: the packaged DLL is the one the tests ran"
fi
grep -q "^### zqScaleBitmap" "$unpacked/AUTHORS-GUIDE.md" ||
    { echo "zq: the authors' guide lacks the generated settings" >&2; exit 1; }
zq_windows_side sh -c "cd '$unpacked' && '$root/cmake/wine-run.sh' zqplay.exe --version &&
    '$root/cmake/wine-run.sh' zqplay.exe zqbitmap.dll projects/demo.zqp &&
    '$root/cmake/wine-run.sh' zqplay.exe zqbitmap.dll projects/pictures.zqp" >"$fresh/played.log" 2>&1 ||
    { tail -40 "$fresh/played.log" >&2; echo "zq: the projects did not play from the package" >&2; exit 1; }
grep -E '^(zqplay|summary)' "$fresh/played.log"
echo "zq: the package plays from $unpacked"
