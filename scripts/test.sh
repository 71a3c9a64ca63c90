#!/usr/bin/env bash
# Builds everything and runs every test: ./scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-tools.sh

# The native build: unit, integration and driver tests.
cmake --preset linux
cmake --build --preset linux
ctest --preset linux

# The concurrency tests again under ThreadSanitizer.
cmake --preset linux-tsan
cmake --build --preset linux-tsan
ctest --preset linux-tsan
