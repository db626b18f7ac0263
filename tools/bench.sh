#!/usr/bin/env bash
# Builds the benchmarks and runs them, headless (SDL's dummy drivers); takes Google
# Benchmark's options, e.g. --benchmark_filter=BM_Frame. Figures: docs/performance.md.
#   tools/bench.sh web   the page instead, in Chromium: what a first visit fetches, gesture
#                        to first frame, idle main thread, key to frame
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
if [ "${1:-}" = web ]; then
    tools/deps.sh "${WEB_TEST_PACKAGES[@]}"
    tools/web.sh build
    exec /usr/bin/python3 bench/web.py build/web
fi
tools/deps.sh "${BUILD_PACKAGES[@]}" libbenchmark-dev
cmake --preset default >/dev/null
cmake --build --preset default --target bench
exec build/default/bench/bench "$@"
