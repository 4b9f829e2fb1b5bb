#!/usr/bin/env bash
# Runs a command with the project's Wine settings, in one Wine session on a
# virtual display (the dialog tests need one, and a wineserver started without
# one breaks later runs under one), with the PDF printer up for its whole
# length: with CUPS's library installed and no cupsd, every Wine process
# waits 3 s at exit.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"
export ZQ_PDF_DIR="${ZQ_PDF_DIR:-/var/tmp/zq-pdf}"
wineserver -k 2>/dev/null
bash "$here/printer.sh" start || echo "zq: no PDF printer; printing tests will fail" >&2
status=0
xvfb-run -a -s "-screen 0 1024x768x24" "$@" || status=$?
wineserver -k 2>/dev/null
bash "$here/printer.sh" stop
exit $status
