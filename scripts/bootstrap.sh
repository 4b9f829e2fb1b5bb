#!/usr/bin/env bash
# Installs what the build, the tests and the player need on Debian 12 (as root),
# and prepares where the Windows side runs: a quiet headless Wine prefix, or,
# where this kernel cannot run 32-bit programs, an emulated i386 machine with
# one inside. Idempotent: seconds when everything is there.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/route.sh"

# The build and the parts that need no Windows code (binutils also assembles
# the 32-bit probe).
packages=(binutils g++-mingw-w64-i686-posix binutils-mingw-w64-i686 cmake googletest
          imagemagick python3-pil clang libclang-rt-14-dev)
wine_packages=(wine wine32:i386 xvfb xauth cups printer-driver-cups-pdf libcups2:i386 poppler-utils)
vm_packages=(qemu-system-x86 qemu-user-static debootstrap gcc-multilib cpio e2fsprogs xz-utils)

have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

ensure() {
    local need=() p
    for p in "$@"; do have "$p" || need+=("$p"); done
    [ ${#need[@]} -gt 0 ] || return 0
    export DEBIAN_FRONTEND=noninteractive
    install() { apt-get install -y -qq --no-install-recommends "$@" "${need[@]}" >/dev/null; }
    # A mirror caught mid-sync fails an index now and then; go on with the rest.
    apt-get update -qq || apt-get update -qq || true
    if ! install; then
        # i386 and amd64 copies of a library must have one version. When the
        # security index of one architecture is missing, take both from the
        # main suite instead of the security suite.
        local pins
        pins=$(mktemp -d)
        printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' >"$pins/zq"
        install -o Dir::Etc::PreferencesParts="$pins"
        rm -rf "$pins"
    fi
}

# The i386 lists carry wine32 here and the kernel of the emulated machine.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    apt-get update -qq || true
fi
ensure "${packages[@]}"
route=$(zq_route)
if [ "$route" = native ]; then
    ensure "${wine_packages[@]}"
    bash "$here/wine-prefix.sh"
else
    echo "zq: this kernel does not run 32-bit programs (or ZQ_ROUTE=vm): Wine runs inside an emulated i386 machine" >&2
    ensure "${vm_packages[@]}"
    bash "$here/vm/image.sh"
fi
