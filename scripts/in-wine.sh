#!/usr/bin/env bash
# Runs a command with the project's Wine settings, in one Wine session on a
# virtual display (the dialog tests need one, and a wineserver started without
# one breaks later runs under one).
set -uo pipefail
source "$(dirname "$0")/wine-env.sh"
wineserver -k 2>/dev/null
status=0
xvfb-run -a -s "-screen 0 1024x768x24" "$@" || status=$?
wineserver -k 2>/dev/null
exit $status
