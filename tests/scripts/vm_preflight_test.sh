#!/usr/bin/env bash
# Where the emulated machine cannot be built, the commands stop with one clear
# message naming what is missing. Each case takes one thing away.
set -uo pipefail
image="$(cd "$(dirname "$0")/../.." && pwd)/scripts/vm/image.sh"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

expect_refusal() {  # name, expected words, then VAR=value settings
    local name=$1 words=$2 out status
    shift 2
    out=$(env ZQ_VM_DIR="$scratch/vm" "$@" bash "$image" --preflight 2>&1)
    status=$?
    if [ $status -ne 3 ] || ! grep -q -- "$words" <<<"$out" ||
       ! grep -q "tests and the player run" <<<"$out"; then
        echo "FAIL $name: status $status, said: $out"
        failures=$((failures + 1))
    else
        echo "ok   $name: $(head -1 <<<"$out")"
    fi
}

mkdir -p "$scratch/binfmt"
touch "$scratch/binfmt/register"
usable=(ZQ_VM_FAKE_UID=0 ZQ_BINFMT_DIR="$scratch/binfmt" ZQ_VM_MIN_FREE_GB=0)

expect_refusal "not root" "must be built as root" "${usable[@]}" ZQ_VM_FAKE_UID=1000
# Only a machine-wide entry needs the machine's binfmt_misc.
expect_refusal "no binfmt_misc" "binfmt_misc is not available" "${usable[@]}" ZQ_BINFMT_DIR="$scratch/none" \
    ZQ_VM_SECOND_STAGE=machine
expect_refusal "no space" "GB free; the machine needs 1000000 GB" "${usable[@]}" ZQ_VM_MIN_FREE_GB=1000000
expect_refusal "no folder" "cannot make" "${usable[@]}" ZQ_VM_DIR=/proc/zq-vm

# With everything there, the preflight passes, so the refusals above are real;
# a kernel that runs 32-bit programs, or a binfmt_misc of one's own, needs no
# machine-wide one.
for route in machine native private; do
    if ! out=$(env ZQ_VM_DIR="$scratch/vm" "${usable[@]}" ZQ_VM_SECOND_STAGE=$route \
               $([ $route = machine ] || echo ZQ_BINFMT_DIR="$scratch/none") bash "$image" --preflight 2>&1); then
        echo "FAIL all present ($route): $out"; failures=$((failures + 1))
    else
        echo "ok   all present ($route)"
    fi
done
exit $((failures > 0))
