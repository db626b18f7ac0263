#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test three times: as shipped,
# under AddressSanitizer + UndefinedBehaviorSanitizer, and under ThreadSanitizer. Started
# with sudo, it builds and tests as the user who typed it (tools/own-user.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
. tools/own-user.sh
tools/deps.sh "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
as_own_user tools/test.sh "$@"
# The pads' tests also play over sdl12-compat; on Debian 12 from a folder of the build's own.
compat=$(tools/sdl12-compat.sh)
presets=(default asan tsan)
[ $# -gt 0 ] && presets=("$@")
# Every build runs even when an earlier one failed, so that one run shows every failure.
failed=()
for preset in "${presets[@]}"; do
    echo "== $preset =="
    started=$SECONDS
    cmake --preset "$preset" -DBRELVO_TESTS=ON -DBRELVO_SDL12_COMPAT="$compat" >/dev/null
    cmake --build --preset "$preset"
    built=$SECONDS
    ctest --preset "$preset" || failed+=("$preset")
    echo "== $preset: built in $((built - started)) s, tested in $((SECONDS - built)) s =="
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "== tests failed in: ${failed[*]} =="
    exit 1
fi
