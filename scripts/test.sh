#!/usr/bin/env bash
# Builds everything and runs every test: ./scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-tools.sh
cmake --preset linux
cmake --build --preset linux
ctest --preset linux
