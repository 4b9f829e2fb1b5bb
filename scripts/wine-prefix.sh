#!/usr/bin/env bash
# Makes the project's quiet headless Wine prefix unless it is there (about 6 s
# natively, about a minute inside the emulated machine).
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
    # Without a window manager every dialog close otherwise waits 2 s.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
    wineserver -w || true
fi
[ -f "$WINEPREFIX/system.reg" ] || { echo "zq: wineboot made no prefix in $WINEPREFIX" >&2; exit 1; }
