#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest. Wine's helper processes would
# inherit CTest's output pipe and keep it waiting, so the program writes to a
# file that is printed afterwards; the program's exit code is kept.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../scripts/wine-env.sh"
out=$(mktemp)
if [ -n "${ZQ_IN_VM:-}" ]; then
    # Inside the emulated machine, large programs mapped from the 9p share
    # crash at their first instruction: run copies of the program's folder's
    # programs and DLLs from memory instead.
    dir=$(cd "$(dirname "$1")" && pwd)
    copy=/tmp/zq-programs$dir
    mkdir -p "$copy"
    flock "$copy" cp -p -u "$dir"/*.exe "$dir"/*.dll "$copy"/ 2>/dev/null
    set -- "$copy/$(basename "$1")" "${@:2}"
fi
run() {
    wine "$@" >"$out" 2>&1 </dev/null
}
run "$@"
rc=$?
# Wine's own loader now and then dies of a signal on a busy machine, after or
# before the program ran; a crash of the program itself ends with an exception
# code instead. Run once more in that case only, and say so.
if [ $rc -ge 128 ]; then
    echo "wine-run: wine itself died of signal $((rc - 128)); running the program once more" >&2
    run "$@"
    rc=$?
fi
cat "$out"
rm -f "$out"
exit $rc
