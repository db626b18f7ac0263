#!/usr/bin/env bash
# The browser's home, built on this Debian machine:
#   tools/web.sh              installs what is missing, builds the page into build/web and
#                             packs build/web/brelvo-<version>-web.zip, checks that a second
#                             build elsewhere packs the same bytes, tests the links and QR
#                             codes of play over the net (in node, Chromium and Firefox ESR)
#                             and the page's state machine, protocol and rendezvous (in
#                             node), plays remote matches between Chromium and Firefox ESR
#                             on a network of the test's own (a TURN server and MQTT brokers
#                             on it) and tests the
#                             page in Chromium, Firefox ESR and WebKitGTK
#   tools/web.sh build        only builds the page and the zip
#   tools/web.sh serve [[ADDRESS:]PORT]
#                             builds what changed, then serves build/web on ADDRESS (127.0.0.1
#                             unless told; 0.0.0.0 for every network) and PORT (8000)
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
action=${1:-all}
usage() {
    echo "usage: tools/web.sh [build | serve [[ADDRESS:]PORT]]" >&2
    exit 2
}

packages=("${BUILD_PACKAGES[@]}" "${WEB_PACKAGES[@]}")
[ "$action" = all ] && packages+=("${WEB_TEST_PACKAGES[@]}")
tools/deps.sh "${packages[@]}"
# Debian's emcc finds Debian's node modules only through NODE_PATH when the machine's own
# node is not Debian's.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

# Debian's package $1 unpacked into build/tools/$1 and run from there, not installed; the
# variable $3 names its program $2 for the tests. The remote play tests' TURN server,
# Debian's coturn, so: installed, the package would start a TURN server on the machine's
# own network; their broker for the rendezvous, Debian's mosquitto, likewise.
private_package() {
    local folder=build/tools/$1 deb
    if [ ! -x "$folder/$2" ]; then
        deb=$(mktemp -d)
        (cd "$deb" && { apt-get download "$1" 2>/dev/null ||
            { apt-get update -qq && apt-get download "$1"; }; })
        mkdir -p "$folder"
        dpkg-deb -x "$deb/$1"_*.deb "$folder"
        rm -rf "$deb"
    fi
    export "$3=$PWD/$folder/$2"
}

build() {
    local started=$SECONDS
    cmake --preset web >/dev/null
    cmake --build --preset web
    cmake --build --preset web --target web_zip >/dev/null
    echo "== page built in $((SECONDS - started)) s: build/web, $(stat -c %s build/web/brelvo-*-web.zip) byte zip =="
}

# The same commit packs the same zip wherever it is built: a second build in another
# folder, later, under another umask and time zone and with the commit's date given as
# SOURCE_DATE_EPOCH (the first took it from git), must pack the first one's bytes.
same_zip_twice() {
    local started=$SECONDS again=build/web-again first second
    first=$(echo build/web/brelvo-*-web.zip)
    (
        umask 077
        export TZ=Pacific/Kiritimati SOURCE_DATE_EPOCH
        SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 315532800)
        cmake --preset web -B "$again" -DBRELVO_WEB_DIR="$PWD/$again/page" >/dev/null
        cmake --build "$again" --parallel 2 --target web_zip >/dev/null
    )
    second=$again/page/${first##*/}
    if ! cmp "$first" "$second"; then
        diff <(zipinfo -v "$first") <(zipinfo -v "$second") | head -n 40 >&2
        exit 1
    fi
    echo "== a second build packed the same zip, in $((SECONDS - started)) s =="
}

case $action in
build)
    build
    ;;
serve)
    [ $# -le 2 ] || usage
    where=${2:-8000}
    port=${where##*:}
    address=127.0.0.1
    [ "$where" = "$port" ] || address=${where%:*}
    address=${address#\[}
    address=${address%\]}
    [[ $port =~ ^[0-9]+$ && -n $address ]] || usage
    # What the sources build now: a changed file is served at once.
    build
    case $address in
    0.0.0.0) hosts=$(hostname -I 2>/dev/null | tr ' ' '\n' | grep -v : || true) ;;
    ::) hosts=$(hostname -I 2>/dev/null || true) ;;
    *) hosts=$address ;;
    esac
    for host in ${hosts:-127.0.0.1}; do
        [[ $host == *:* ]] && host="[$host]"
        echo "Open http://$host:$port/"
    done
    echo "(Ctrl-C stops)"
    exec /usr/bin/python3 -m http.server "$port" --bind "$address" --directory build/web
    ;;
all)
    build
    same_zip_twice
    /usr/bin/python3 tests/doc_links.py --zip build/web/brelvo-*-web.zip
    started=$SECONDS
    node --test tests/web/link_qr_test.js tests/web/machine_test.js tests/web/pace_test.js \
        tests/web/rendezvous_test.js
    /usr/bin/python3 tests/web/link_browser_test.py
    echo "== links, QR codes and the page's machine tested in $((SECONDS - started)) s =="
    started=$SECONDS
    private_package coturn usr/bin/turnserver BRELVO_TURNSERVER
    private_package mosquitto usr/sbin/mosquitto BRELVO_MOSQUITTO
    /usr/bin/python3 tests/web/remote_test.py build/web
    echo "== remote play tested in $((SECONDS - started)) s =="
    started=$SECONDS
    /usr/bin/python3 tests/web/test_page.py build/web
    echo "== page tested in $((SECONDS - started)) s =="
    ;;
*)
    usage
    ;;
esac
