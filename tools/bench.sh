#!/usr/bin/env bash
# Builds the benchmarks and runs them, headless (SDL's dummy drivers); takes Google
# Benchmark's options, e.g. --benchmark_filter=BM_Frame. Figures: docs/performance.md.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
tools/deps.sh "${BUILD_PACKAGES[@]}" libbenchmark-dev
cmake --preset default >/dev/null
cmake --build --preset default --target bench
exec build/default/bench/bench "$@"
