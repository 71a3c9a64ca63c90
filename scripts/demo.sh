#!/usr/bin/env bash
# Builds everything and runs Kwarne_Brivex against the demo slave: ./scripts/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-tools.sh
cmake --preset linux >/dev/null
cmake --build --preset linux >/dev/null
# The driver finds its slave and Kwarne.cfg relative to the current folder.
cd build/linux/demo
exec ../bin/Kwarne_Brivex
