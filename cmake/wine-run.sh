#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest. Wine's helper processes would
# inherit CTest's output pipe and keep it waiting, so the program writes to a
# file that is printed afterwards; the program's exit code is kept.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../scripts/wine-env.sh"
out=$(mktemp)
wine "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
