#!/usr/bin/env bash
# Runs a Windows program under 32-bit Wine, in the Windows build's private
# prefix (created on first use). WINEPREFIX may point elsewhere.
# `wine-run.sh wineserver -k` shuts down that prefix's server, and only it.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$here/build/windows/wineprefix}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko: the tests need neither, and they cannot be downloaded.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ "${1:-}" = wineserver ]; then
  shift
  # The server lives by the prefix's folder, so that must exist first.
  mkdir -p "$WINEPREFIX"
  exec wineserver "$@"
fi
exec wine "$@"
