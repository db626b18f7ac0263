#!/usr/bin/env bash
# Builds the benchmarks and runs them, headless (SDL's dummy drivers); takes Google
# Benchmark's options, e.g. --benchmark_filter=BM_Frame. Figures: docs/performance.md. The
# pads' benchmarks run over sdl12-compat (on Debian 12, Debian's, unpacked: see below).
#   tools/bench.sh web   the page instead: gesture to first frame against a floor page in
#                        Chromium, Firefox and WebKitGTK; in Chromium also what a first
#                        visit fetches, idle main thread, key, touch and pad to frame
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
if [ "${1:-}" = web ]; then
    tools/deps.sh "${WEB_TEST_PACKAGES[@]}"
    tools/web.sh build
    exec /usr/bin/python3 bench/web.py build/web
fi
tools/deps.sh "${BUILD_PACKAGES[@]}" libbenchmark-dev libsdl2-2.0-0
cmake --preset default >/dev/null
cmake --build --preset default --target bench
# The pads' benchmarks need sdl12-compat: on Debian 12, where SDL 1.2 is the classic one,
# they run again over Debian's libsdl1.2-compat from the build's folder.
compat=$(tools/sdl12-compat.sh)
if [ -z "$compat" ]; then
    exec build/default/bench/bench "$@"
fi
build/default/bench/bench --benchmark_filter=-BM_Pad\|BM_IdleCpuPads "$@"
echo "== over sdl12-compat =="
LD_LIBRARY_PATH=$compat exec build/default/bench/bench \
    --benchmark_filter='BM_PadToFrame|BM_IdleCpu' "$@"
