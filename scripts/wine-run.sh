#!/usr/bin/env bash
# Runs a Windows program under Wine, in a Windows build's private prefix
# (created on first use): wine-run.sh [--win32 | --win64] PROGRAM [ARGS...]
#   --win32, the default: a 32-bit prefix, build/windows/wineprefix
#   --win64: a 64-bit prefix, build/windows64/wineprefix; it runs 32-bit
#            programs too, so hosts and slaves of both widths meet there
# WINEPREFIX may point elsewhere. `wine-run.sh [--win64] wineserver -k` shuts
# down that prefix's server, and only it.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
loader=wine
case "${1:-}" in
  --win64)
    shift; export WINEARCH=win64; build=windows64
    # Debian's wine runs its 32-bit loader, which starts a 64-bit program
    # only through a 32-bit launcher process of its own; the 64-bit loader
    # starts it directly (and a 32-bit one through a launcher).
    if [ -x /usr/lib/wine/wine64 ]; then loader=/usr/lib/wine/wine64; fi ;;
  --win32) shift; export WINEARCH=win32; build=windows ;;
  *) export WINEARCH=win32; build=windows ;;
esac
export WINEPREFIX="${WINEPREFIX:-$here/build/$build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko: the tests need neither, and they cannot be downloaded.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ "${1:-}" = wineserver ]; then
  shift
  # The server lives by the prefix's folder, so that must exist first.
  mkdir -p "$WINEPREFIX"
  exec wineserver "$@"
fi
exec "$loader" "$@"
