#!/usr/bin/env bash
# Installs what is missing, builds the game and starts it with this script's arguments:
# tools/play.sh --computer plays against the computer. Started with sudo, it builds and
# plays as the user who typed it (tools/own-user.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
. tools/own-user.sh
tools/deps.sh "${BUILD_PACKAGES[@]}"
as_own_user tools/play.sh "$@"
cmake --preset default -DBRELVO_TESTS=OFF >/dev/null
cmake --build --preset default --target brelvo
exec build/default/brelvo "$@"
