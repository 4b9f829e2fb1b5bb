#!/usr/bin/env bash
# Builds, once, the emulated i386 Debian machine that runs the Windows side
# (Wine) where this kernel cannot execute 32-bit programs, and keeps it in
# $ZQ_VM_DIR. A later run whose recipe has not changed reuses it in a second.
#   image.sh              build unless an image of this recipe is there
#   image.sh --preflight  only check that a build could be done here
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/vm-env.sh"
source "$here/../route.sh"

# What the Windows side runs with: Wine and a virtual display; CTest, Python,
# Pillow, ImageMagick and objdump for the tests that drive it; CUPS with the
# PDF printer for printing.
guest_packages=(wine wine32 xvfb xauth kmod procps cmake python3 python3-pil
                imagemagick binutils-mingw-w64-i686 cups printer-driver-cups-pdf
                poppler-utils)
mirror="${ZQ_DEBIAN_MIRROR:-http://deb.debian.org/debian}"
# Raise when a change below alters what the machine holds; with the package
# list and the files that run inside it, it names the recipe of the image.
recipe_version=1
min_free_gb="${ZQ_VM_MIN_FREE_GB:-10}"
binfmt="${ZQ_BINFMT_DIR:-/proc/sys/fs/binfmt_misc}"

fail() {
    {
        echo "zq: cannot set up the emulated i386 machine: $1"
        echo "zq: this kernel does not run 32-bit programs, and the tests and the player run"
        echo "zq: 32-bit Windows code under Wine, which then needs that machine (see README)."
    } >&2
    exit 3
}

# Whether a binfmt_misc of one's own can be had here.
private_binfmt() {
    unshare --user --map-root-user --mount \
        sh -c 'mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc' 2>/dev/null
}

# How debootstrap's second stage runs i386 programs: natively where the kernel
# runs them, else through qemu-user with a private or a machine-wide
# binfmt_misc entry. ZQ_VM_SECOND_STAGE sets it (tests; trying a route).
second_stage_route() {
    if [ -n "${ZQ_VM_SECOND_STAGE:-}" ]; then echo "$ZQ_VM_SECOND_STAGE"
    elif zq_kernel_runs_32bit; then echo native
    elif private_binfmt; then echo private
    else echo machine
    fi
}

preflight() {
    [ "${ZQ_VM_FAKE_UID:-$(id -u)}" = 0 ] ||
        fail "it must be built as root (debootstrap, chroot and binfmt_misc need root)"
    if [ "$(second_stage_route)" = machine ] && [ ! -w "$binfmt/register" ]; then
        [ "$binfmt" = /proc/sys/fs/binfmt_misc ] &&
            mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true
        [ -w "$binfmt/register" ] ||
            fail "binfmt_misc is not available at $binfmt (the 32-bit half of the install runs through it)"
    fi
    mkdir -p "$ZQ_VM_DIR" 2>/dev/null || fail "cannot make $ZQ_VM_DIR"
    local free_kb
    free_kb=$(df -Pk "$ZQ_VM_DIR" | awk 'NR == 2 { print $4 }')
    [ "$free_kb" -ge $((min_free_gb * 1024 * 1024)) ] ||
        fail "$ZQ_VM_DIR has $((free_kb / 1024 / 1024)) GB free; the machine needs $min_free_gb GB"
}

recipe_key() {
    { printf '%s\n' "${guest_packages[@]}" "$mirror" "$recipe_version"
      cat "$here/init.c" "$here/zq-boot" "$here/setup.sh" "$here/../wine-prefix.sh"; } | sha256sum | cut -c1-16
}

if [ "${1:-}" = --preflight ]; then preflight; exit 0; fi

key=$(recipe_key)
if [ -f "$ZQ_VM_DIR/ready" ] && [ "$(cat "$ZQ_VM_DIR/ready")" = "$key" ]; then exit 0; fi
preflight
started=$SECONDS
echo "zq: building the emulated i386 machine in $ZQ_VM_DIR (once; 10 to 20 minutes)"
work="$ZQ_VM_DIR/build"
rm -rf "$work" "$ZQ_VM_DIR/ready"
mkdir -p "$work"
root="$work/root"

# debootstrap's second stage runs i386 programs. A kernel that runs them needs
# nothing more. One that refuses them gets qemu-user through a binfmt_misc
# entry, which would otherwise send every 32-bit program on the machine through
# qemu (Wine there spins for ever): where the kernel allows it (Linux 6.7 and
# later) the entry lives in a binfmt_misc of its own, inside user, mount and
# pid namespaces that only the second stage shares; elsewhere it is the
# machine's for the second stage's length and goes on every exit.
entry=zq-i386
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
registration=":$entry:M::$magic:$mask:/usr/bin/qemu-i386-static:POCF"
unregister() { [ -e "$binfmt/$entry" ] && echo -1 >"$binfmt/$entry" || true; }
trap 'unregister; mountpoint -q "$root/proc" && umount -l "$root/proc" || true' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

# The second stage in namespaces of its own, with a binfmt_misc of its own.
# Its user namespace maps every id to itself, written from here (as root) once
# it exists. Devices cannot be made there: debootstrap, told it is in a
# container, binds the machine's instead, and they go with the namespaces.
second_stage_private() {
    local go="$work/go" pid status
    mkfifo "$go"
    unshare --user --mount --pid --fork --kill-child bash -c '
        read -r _ <"$1" && mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc &&
        echo "$2" >/proc/sys/fs/binfmt_misc/register &&
        exec env container=lxc chroot "$3" /debootstrap/debootstrap --second-stage' \
        _ "$go" "$registration" "$root" >>"$work/debootstrap.log" 2>&1 &
    pid=$!
    for _ in $(seq 100); do
        [ "$(readlink "/proc/$pid/ns/user" 2>/dev/null)" != "$(readlink /proc/self/ns/user)" ] && break
        sleep 0.05
    done
    echo "0 0 65536" >"/proc/$pid/uid_map" && echo "0 0 65536" >"/proc/$pid/gid_map" && echo go >"$go"
    wait "$pid"
    status=$?
    rm -f "$go"
    return $status
}

echo "zq: debootstrap (i386, bookworm)"
include=$(IFS=,; echo "${guest_packages[*]}")
if ! debootstrap --foreign --arch=i386 --variant=minbase --include="$include" bookworm "$root" "$mirror" \
        >"$work/debootstrap.log" 2>&1; then
    tail -20 "$work/debootstrap.log" >&2
    fail "debootstrap failed (log: $work/debootstrap.log)"
fi
second_stage=$(second_stage_route)
echo "zq: debootstrap's second stage: $second_stage"
case "$second_stage" in
    native) chroot "$root" /debootstrap/debootstrap --second-stage >>"$work/debootstrap.log" 2>&1 ;;
    private) second_stage_private ;;
    machine)
        unregister
        echo "$registration" >"$binfmt/register"
        chroot "$root" /debootstrap/debootstrap --second-stage >>"$work/debootstrap.log" 2>&1
        ;;
esac || { tail -20 "$work/debootstrap.log" >&2; fail "debootstrap's second stage failed (log: $work/debootstrap.log)"; }
unregister
mountpoint -q "$root/proc" && umount -l "$root/proc"

# The kernel comes as a package unpacked beside the root, not into it: its
# /lib would replace the root's /lib -> usr/lib link.
echo "zq: kernel"
kernel_pkg=$(apt-cache depends linux-image-686:i386 | awk '/Depends: linux-image-[0-9]/ { print $2; exit }')
[ -n "$kernel_pkg" ] || fail "no i386 kernel package in apt's lists (is the i386 architecture added?)"
(cd "$work" && apt-get download -qq -o APT::Sandbox::User=root "$kernel_pkg") || fail "cannot download $kernel_pkg"
mkdir -p "$work/kernel"
dpkg-deb -x "$work"/linux-image-*.deb "$work/kernel"
cp "$work"/kernel/boot/vmlinuz-* "$work/vmlinuz"
mkdir -p "$root/usr/lib/modules"
cp -a "$work"/kernel/lib/modules/* "$root/usr/lib/modules/"

echo "zq: initramfs"
mkdir -p "$work/initrd/modules"
gcc -m32 -static -O2 -o "$work/initrd/init" "$here/init.c"
for m in virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci virtio_blk \
         crc16 mbcache jbd2 crc32c_generic ext4; do
    ko=$(find "$work/kernel/lib/modules" -name "$m.ko*" | head -1)
    [ -n "$ko" ] || continue
    case "$ko" in
        *.xz) xz -dc "$ko" >"$work/initrd/modules/$m.ko" ;;
        *) cp "$ko" "$work/initrd/modules/$m.ko" ;;
    esac
done
(cd "$work/initrd" && find . | cpio -o -H newc --quiet) | gzip -1 >"$work/initrd.gz"

install -m 755 "$here/zq-boot" "$root/sbin/zq-boot"
rm -rf "$root"/proc/* "$root"/sys/* "$root"/dev/* "$root"/var/cache/apt/archives/*.deb

echo "zq: disk image"
mkfs.ext4 -q -O ^metadata_csum -L zq-root -d "$root" "$work/root.img" 8G >/dev/null

# First boot, not on a snapshot: what it sets up (the module index, the Wine
# prefix, the printer) is kept in the image.
echo "zq: first boot (Wine prefix)"
mv "$work/root.img" "$work/vmlinuz" "$work/initrd.gz" "$ZQ_VM_DIR/"
ZQ_VM_PERSIST=1 "$here/run.sh" bash "$here/setup.sh" || fail "the first boot's setup failed"
rm -rf "$work"
echo "$key" >"$ZQ_VM_DIR/ready"
echo "zq: the emulated machine is ready ($((SECONDS - started)) s)"
