#!/usr/bin/env bash
# Builds the library, the Kwarne_Brivex demo driver and its Brivex slave, and
# runs the driver: ./scripts/demo.sh
# Installs only what that build needs (a compiler, CMake, Ninja); the test
# command installs the rest.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-tools.sh demo
echo "demo: configuring build/demo"
cmake --preset demo >/dev/null
echo "demo: building the library, the driver and its slave"
cmake --build --preset demo
# The driver finds its slave and Kwarne.cfg relative to the current folder.
echo "demo: running build/demo/bin/Kwarne_Brivex in build/demo/demo"
cd build/demo/demo
exec ../bin/Kwarne_Brivex
