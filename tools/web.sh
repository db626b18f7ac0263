#!/usr/bin/env bash
# The browser's home, built on this Debian machine:
#   tools/web.sh              installs what is missing, builds the page into build/web, tests
#                             it in Chromium, Firefox ESR and WebKitGTK and packs
#                             build/web/brelvo-<version>-web.zip
#   tools/web.sh build        only builds the page and the zip
#   tools/web.sh serve [PORT] serves build/web on 127.0.0.1 (building it when missing)
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
action=${1:-all}
port=${2:-8000}

packages=("${BUILD_PACKAGES[@]}" "${WEB_PACKAGES[@]}")
[ "$action" = all ] && packages+=("${WEB_TEST_PACKAGES[@]}")
tools/deps.sh "${packages[@]}"
# Debian's emcc finds Debian's node modules only through NODE_PATH when the machine's own
# node is not Debian's.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

build() {
    local started=$SECONDS
    cmake --preset web >/dev/null
    cmake --build --preset web
    cmake --build --preset web --target web_zip >/dev/null
    echo "== page built in $((SECONDS - started)) s: build/web, $(stat -c %s build/web/brelvo-*-web.zip) byte zip =="
}

case $action in
build)
    build
    ;;
serve)
    [ -f build/web/index.html ] || build
    echo "Open http://127.0.0.1:$port/ (Ctrl-C stops)"
    exec /usr/bin/python3 -m http.server "$port" --bind 127.0.0.1 --directory build/web
    ;;
all)
    build
    started=$SECONDS
    /usr/bin/python3 tests/web/test_page.py build/web
    echo "== page tested in $((SECONDS - started)) s =="
    ;;
*)
    echo "usage: tools/web.sh [build | serve [PORT]]" >&2
    exit 2
    ;;
esac
