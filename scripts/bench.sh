#!/usr/bin/env bash
# Builds a Release configuration, runs every benchmark in one run and prints
# the summary table: ./scripts/bench.sh
# Extra arguments go to the benchmark program (Google Benchmark's flags, or
# --quick). Other load on the machine shows in the numbers: run it quiet.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-tools.sh

cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZOLT_BUILD_TESTS=OFF
cmake --build build/bench --target zolt_bench zolt_kit_bench zolt_test_slave
build/bench/bin/zolt_bench "$@"
# What kit slaves cost: the C kit's, then the Python kit's.
build/bench/bin/zolt_kit_bench --timeout
PYTHONPATH="$PWD/python" build/bench/bin/zolt_kit_bench --script python/tests/device_slave.py --exchanges 500
