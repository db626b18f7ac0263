#!/usr/bin/env bash
# Installs what is missing, builds the game and starts it with this script's arguments:
# tools/play.sh --computer plays against the computer.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
tools/deps.sh "${BUILD_PACKAGES[@]}"
cmake --preset default -DBRELVO_TESTS=OFF >/dev/null
cmake --build --preset default --target brelvo
exec build/default/brelvo "$@"
