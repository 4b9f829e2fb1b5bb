#!/usr/bin/env bash
# Runs a command with the project's Wine settings, in one Wine session on a
# virtual display (the dialog tests need one, and a wineserver started without
# one breaks later runs under one), with the PDF printer up for its whole
# length: with CUPS's library installed and no cupsd, every Wine process
# waits 3 s at exit.
#
# One such run at a time on the machine: a lock serialises them. Each run
# stops the prefix's wineserver at its start and end, and the PDF printer
# (the default destination, cups-pdf's output folder) is the whole machine's,
# so a second run beside it would kill the first one's Wine or take its
# printer away; a prefix of its own would not keep the printer apart.
#
# Whatever ends the run, interrupted ones included, it leaves the machine as
# it found it: its command stopped, the prefix's wineserver stopped, its
# Xvfb stopped, the printer's settings put back and a cupsd it started gone.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"
export ZQ_PDF_DIR="${ZQ_PDF_DIR:-/var/tmp/zq-pdf}"
lock="${ZQ_WINDOWS_SIDE_LOCK:-/var/tmp/zq-windows-side.lock}"

exec 9>"$lock" || { echo "zq: cannot open the lock $lock" >&2; exit 1; }
if ! flock -n 9; then
    echo "zq: another Windows-side run holds $lock; waiting for it" >&2
    flock 9
fi

child= xvfb= printer=
cleanup() {
    # Once: a second signal must not cut the clean-up short.
    trap '' INT TERM HUP
    trap - EXIT
    if [ -n "$child" ] && kill -0 "$child" 2>/dev/null; then
        kill -TERM "$child" 2>/dev/null
        wait "$child" 2>/dev/null
    fi
    wineserver -k 2>/dev/null
    if [ -n "$xvfb" ]; then
        kill "$xvfb" 2>/dev/null
        wait "$xvfb" 2>/dev/null
    fi
    [ -n "$printer" ] && bash "$here/printer.sh" stop
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

wineserver -k 2>/dev/null
printer=1
bash "$here/printer.sh" start || echo "zq: no PDF printer; printing tests will fail" >&2

# Our own Xvfb rather than xvfb-run's: a signal to xvfb-run leaves its server
# running. The server picks a free display and writes its number to us.
displayfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.05; done
display=$(tr -dc 0-9 <"$displayfile")
rm -f "$displayfile"
[ -n "$display" ] || { echo "zq: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$display"

# In the background, so that a signal reaches the traps above at once.
"$@" &
child=$!
wait "$child"
status=$?
child=
exit $status
