#!/usr/bin/env bash
# Runs one command inside the emulated i386 machine and gives back its output
# (stdout and stderr as one stream) and its exit code. The host's folders that
# the command needs appear in the machine at the same paths.
#   run.sh COMMAND [ARGS...]
# ZQ_VM_SHARES (colon-separated) adds folders; ZQ_VM_PERSIST=1 keeps what the
# command changes on the machine's disk (the image build's first boot only).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
source "$here/vm-env.sh"
for f in root.img vmlinuz initrd.gz; do
    [ -f "$ZQ_VM_DIR/$f" ] || { echo "zq: no emulated machine in $ZQ_VM_DIR (run scripts/bootstrap.sh)" >&2; exit 3; }
done

run=$(mktemp -d "$ZQ_VM_DIR/run.XXXXXX")
qemu_pid=
cleanup() {
    [ -n "$qemu_pid" ] && kill "$qemu_pid" 2>/dev/null || true
    rm -rf "$run"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A share hides what the machine has at that path: never one of its own
# system folders.
too_wide() {
    case "$1" in
        / | /bin | /boot | /dev | /etc | /home | /lib | /mnt | /opt | /proc | /root | /run | /sbin | /srv | \
        /sys | /tmp | /usr | /var | /var/lib | /var/tmp) return 0 ;;
    esac
    return 1
}
# The repository's parent holds the checkout and the shared files beside it;
# what its links point to must be there too.
parent=$(dirname "$repo")
if too_wide "$parent"; then
    candidates=("$repo" "$parent/shared" "$PWD")
else
    candidates=("$parent" "$PWD")
    for link in "$parent"/*; do
        [ -L "$link" ] && [ -d "$link" ] && candidates+=("$(readlink -f "$link")")
    done
fi
IFS=: read -r -a extra <<<"${ZQ_VM_SHARES:-}"
candidates+=("${extra[@]}")
shares=()
for dir in "${candidates[@]}"; do
    [ -n "$dir" ] && [ -d "$dir" ] || continue
    dir=$(cd "$dir" && pwd -P)
    too_wide "$dir" && continue
    inside=0
    for s in "${shares[@]}"; do case "$dir/" in "$s"/*) inside=1 ;; esac; done
    [ $inside = 1 ] || shares+=("$dir")
done
printf '%s\n' "${shares[@]}" >"$run/shares"

# The job: the caller's folder, the variables that steer tests, the command.
{
    echo "export ZQ_IN_VM=1"
    while IFS='=' read -r name _; do
        case "$name" in
            ZQ_WINEPREFIX | ZQ_VM_* | ZQ_ROUTE | ZQ_IN_VM) ;;
            ZQ_* | GTEST_* | CTEST_* | CI) printf 'export %s=%q\n' "$name" "${!name}" ;;
        esac
    done < <(env)
    printf 'cd %q\n' "$PWD"
    printf 'exec'; printf ' %q' "$@"; echo
} >"$run/job.sh"
cp "$here/guest.sh" "$run/guest.sh"

args=(-machine pc -cpu max,smap=off,smep=off -m "${ZQ_VM_MEMORY_MB:-3072}" -smp 2
      -accel tcg,thread=multi
      -kernel "$ZQ_VM_DIR/vmlinuz" -initrd "$ZQ_VM_DIR/initrd.gz"
      -append "root=/dev/vda rw console=ttyS0 quiet panic=1"
      -virtfs "local,path=$run,mount_tag=ctl,security_model=none"
      -nic none -display none -vga none -monitor none
      -serial "file:$run/console.log" -no-reboot)
if [ "${ZQ_VM_PERSIST:-0}" = 1 ]; then
    args+=(-drive "file=$ZQ_VM_DIR/root.img,format=raw,if=virtio")
else
    # Each run starts from the same disk and leaves it as it was, so runs can
    # go side by side.
    args+=(-drive "file=$ZQ_VM_DIR/root.img,format=raw,if=virtio,snapshot=on")
fi
for i in "${!shares[@]}"; do
    args+=(-virtfs "local,path=${shares[$i]},mount_tag=s$i,security_model=none")
done

timeout "${ZQ_VM_TIMEOUT_S:-5400}" qemu-system-i386 "${args[@]}" &
qemu_pid=$!
# The output streams back while the command runs.
tail -n +1 -F -s 0.3 --pid=$qemu_pid "$run/out" 2>/dev/null &
tail_pid=$!
status=0
wait $qemu_pid || status=$?
qemu_pid=
wait $tail_pid || true
if [ -f "$run/rc" ]; then
    exit "$(cat "$run/rc")"
fi
echo "zq: the emulated machine stopped before the command finished (qemu status $status)" >&2
tail -n 30 "$run/boot.log" "$run/console.log" 2>/dev/null >&2 || true
exit 125
