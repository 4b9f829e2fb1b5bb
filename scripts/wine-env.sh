# Sourced: the Wine settings shared by the bootstrap, CTest and the player.
export WINEPREFIX="${ZQ_WINEPREFIX:-/var/tmp/zq-wine}"
export WINEDEBUG=-all
# No mono or gecko prompts; a crashing test returns at once instead of starting the debugger.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEARCH=win32
