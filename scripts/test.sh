#!/usr/bin/env bash
# Builds both flavours and runs every test: ./scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-tools.sh

# Linux: unit, integration and driver tests.
cmake --preset linux
cmake --build --preset linux
ctest --preset linux

# Linux again, the concurrency tests under ThreadSanitizer.
cmake --preset linux-tsan
cmake --build --preset linux-tsan
ctest --preset linux-tsan

# Windows: the same tests, cross-built, under 32-bit Wine in the build's own
# prefix. Its wineserver is shut down at the end, whatever the outcome.
cmake --preset windows
cmake --build --preset windows
trap 'scripts/wine-run.sh wineserver -k >/dev/null 2>&1 || true' EXIT
# A warm prefix, so no test pays for Wine's first start.
scripts/wine-run.sh wineboot -i >/dev/null 2>&1
ctest --preset windows
