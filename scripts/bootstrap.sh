#!/usr/bin/env bash
# Installs what the build, the tests and the player need on Debian 12 (as root),
# and prepares a quiet headless Wine prefix. Idempotent: seconds when all is there.
set -euo pipefail

packages=(g++-mingw-w64-i686-posix binutils-mingw-w64-i686 cmake googletest
          wine wine32:i386 xvfb xauth imagemagick python3-pil
          clang libclang-rt-14-dev)

have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

need=()
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
for p in "${packages[@]}"; do have "$p" || need+=("$p"); done

if [ ${#need[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    install() { apt-get install -y -qq --no-install-recommends "$@" "${need[@]}" >/dev/null; }
    # A mirror caught mid-sync fails an index now and then; go on with the rest.
    apt-get update -qq || apt-get update -qq || true
    if ! install; then
        # i386 and amd64 copies of a library must have one version. When the
        # security index of one architecture is missing, take both from the
        # main suite instead of the security suite.
        pins=$(mktemp -d)
        printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' > "$pins/zq"
        install -o Dir::Etc::PreferencesParts="$pins"
        rm -rf "$pins"
    fi
fi

# A prefix of our own, so that no other Wine user (or a run without DISPLAY) disturbs it.
source "$(dirname "$0")/wine-env.sh"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
    # Without a window manager every dialog close otherwise waits 2 s.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
    wineserver -w || true
fi
