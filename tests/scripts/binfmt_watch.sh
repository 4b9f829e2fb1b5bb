#!/usr/bin/env bash
# binfmt_watch.sh CMD...: runs CMD (on a kernel that runs 32-bit programs: the
# emulated machine's build and a short pass through it) and meanwhile checks,
# from outside it, every two seconds, that a 32-bit program started elsewhere
# on the machine still runs natively (the route probe asks the kernel which
# executable runs it) and that no binfmt_misc entry of ours is machine-wide.
# Fails when either was ever seen, or when CMD fails.
set -uo pipefail
source "$(cd "$(dirname "$0")/../.." && pwd)/scripts/route.sh"
zq_kernel_runs_32bit || { echo "binfmt_watch: this kernel does not run 32-bit programs: nothing to watch" >&2; exit 2; }
"$@" &
pid=$!
probes=0 emulated=0 entries=0
while kill -0 "$pid" 2>/dev/null; do
    [ -e /proc/sys/fs/binfmt_misc/zq-i386 ] && entries=$((entries + 1))
    zq_kernel_runs_32bit || emulated=$((emulated + 1))
    probes=$((probes + 1))
    sleep 2
done
wait "$pid"
status=$?
echo "binfmt_watch: $probes probes outside the build: $emulated ran under an emulator, $entries saw a machine-wide entry"
[ $status -eq 0 ] || { echo "binfmt_watch: the command failed ($status)" >&2; exit $status; }
[ $emulated -eq 0 ] && [ $entries -eq 0 ]
