#!/usr/bin/env bash
# Installs what is missing, builds the game and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
tools/deps.sh "${BUILD_PACKAGES[@]}"
cmake --preset default -DBRELVO_TESTS=OFF >/dev/null
cmake --build --preset default --target brelvo
exec build/default/brelvo
