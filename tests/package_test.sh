#!/usr/bin/env bash
# Checks the installed game the way a distribution would.
#   package_test.sh stage BUILD STAGE     cmake --install into STAGE, as /usr
#   package_test.sh files STAGE           the installed files validate
#   package_test.sh deb BUILD WORK        cpack builds a .deb that lintian passes
#   package_test.sh start STAGE           the installed executable runs and quits cleanly
#   package_test.sh plain SOURCE WORK     configured with no options, it still installs as a game
#   package_test.sh same SOURCE TYPE DEB AGAIN
#                                         a second TYPE build in AGAIN packs DEB's bytes
set -euo pipefail

# AppStream 1.0 warns that there is no homepage: the game has no public address yet.
# Everything else, on AppStream 0.16 and 1.0 alike, passes without an error or a warning.
appstream_clean() {
    local report
    report=$(appstreamcli validate --no-net "$1" 2>&1) && return 0
    if grep -E '^[EW]: ' <<<"$report" | grep -v ': url-homepage-missing'; then
        echo "$report"
        return 1
    fi
}
# A key's value in one group of a desktop entry: entry_key FILE GROUP KEY.
entry_key() {
    awk -v group="[$2]" -v key="$3=" '/^\[/ { here = ($0 == group) }
        here && index($0, key) == 1 { print substr($0, length(key) + 1) }' "$1"
}
case $1 in
stage)
    rm -rf "$3"
    DESTDIR=$3 cmake --install "$2" --prefix /usr >/dev/null
    ;;
files)
    share=$2/usr/share
    for f in "$2/usr/games/brelvo" "$share/man/man6/brelvo.6.gz" "$share/doc/brelvo/copyright" \
        "$share/doc/brelvo/changelog.gz" "$share/icons/hicolor/scalable/apps/org.brelvo.Brelvo.svg"; do
        [ -f "$f" ] || { echo "missing: $f"; exit 1; }
    done
    for size in 48 128 256; do
        png=$share/icons/hicolor/${size}x${size}/apps/org.brelvo.Brelvo.png
        file "$png" | grep -q "PNG image data, $size x $size" || { echo "bad icon: $png"; exit 1; }
    done
    desktop=$share/applications/org.brelvo.Brelvo.desktop
    desktop-file-validate "$desktop"
    # The menu offers "Play alone", a match against the computer.
    if ! [[ ";$(entry_key "$desktop" "Desktop Entry" Actions)" == *";alone;"* ]] ||
        [ "$(entry_key "$desktop" "Desktop Action alone" Name)" != "Play alone" ] ||
        [ "$(entry_key "$desktop" "Desktop Action alone" Exec)" != "brelvo --computer" ]; then
        echo "no Play alone action running brelvo --computer"
        cat "$desktop"
        exit 1
    fi
    appstream_clean "$share/metainfo/org.brelvo.Brelvo.metainfo.xml"
    # The README and every page it leads to, their links whole where they are installed.
    python3 "$(dirname "$0")/doc_links.py" "$share/doc/brelvo/README.md" "$share/doc/brelvo/docs"
    zcat "$share/man/man6/brelvo.6.gz" | grep -q '/usr/share/doc/brelvo/README.md' ||
        { echo "the man page does not point to the README"; exit 1; }
    # The manual names every message the program can print.
    for message in "unable to init SDL:" "unable to init SDL_mixer:" "unable to set video:" \
        "unable to wait for event:" "unable to push render:" "unable to push game over:" \
        "unable to find resource" "unable to load resource" "unable to lock resource" \
        "unable to get size of resource" "unable to create RWops for sound" "unable to load sound" \
        "brelvo: unknown option"; do
        zcat "$share/man/man6/brelvo.6.gz" | grep -- "$message" >/dev/null || { echo "man page lacks: $message"; exit 1; }
    done
    echo "installed files are valid"
    ;;
deb)
    rm -rf "$3" && mkdir -p "$3"
    (cd "$3" && cpack --config "$2/CPackConfig.cmake" >/dev/null)
    deb=$(ls "$3"/brelvo_*.deb)
    dpkg-deb -f "$deb" Section Depends
    dpkg-deb -f "$deb" Depends | grep libsdl-mixer1.2 >/dev/null
    [ "$(dpkg-deb -f "$deb" Section)" = games ]
    dpkg-deb -c "$deb" | grep ' ./usr/games/brelvo$' >/dev/null
    if ! report=$(lintian --fail-on error,warning "$deb" 2>&1); then
        # lintian on Debian 13 reports that missing homepage as a failed validation:
        # accepted only when it is lintian's one complaint and the validator's too.
        unpacked=$3/unpacked
        dpkg-deb -x "$deb" "$unpacked"
        if grep -E '^[EW]: ' <<<"$report" | grep -v ' appstream-metadata-validation-failed' ||
            ! appstream_clean "$unpacked/usr/share/metainfo/org.brelvo.Brelvo.metainfo.xml"; then
            echo "$report"
            exit 1
        fi
    fi
    echo "lintian passes $(basename "$deb")"
    ;;
plain)
    # A packager's bare `cmake -S . -B build`: the install script must still put the
    # executable under games/, as the package's section says.
    rm -rf "$3"
    cmake -S "$2" -B "$3" -DBRELVO_TESTS=OFF >/dev/null
    grep -q 'CMAKE_INSTALL_PREFIX}/games" TYPE EXECUTABLE' "$3/cmake_install.cmake" ||
        { echo "the executable is not installed under games/"; grep -n 'TYPE EXECUTABLE' "$3/cmake_install.cmake"; exit 1; }
    rm -rf "$3"
    echo "a plain configuration installs the game under games/"
    ;;
same)
    # One commit packs the same .deb wherever it is built: a second build of the same
    # sources in another folder, later, under another umask and time zone, with the
    # commit's date given as SOURCE_DATE_EPOCH (the first took it from git).
    first=$(ls "$4"/brelvo_*.deb)
    (
        umask 077
        export TZ=Pacific/Kiritimati SOURCE_DATE_EPOCH
        SOURCE_DATE_EPOCH=$(git -C "$2" log -1 --format=%ct 2>/dev/null || echo 315532800)
        cmake -S "$2" -B "$5" -DCMAKE_BUILD_TYPE="$3" -DBRELVO_TESTS=OFF >/dev/null
        cmake --build "$5" --parallel 2 >/dev/null
        cd "$5" && cpack -G DEB >/dev/null
    )
    second=$5/$(basename "$first")
    if ! cmp "$first" "$second"; then
        diff <(dpkg-deb -c "$first") <(dpkg-deb -c "$second") | head -n 20
        diff <(dpkg-deb --ctrl-tarfile "$first" | tar -xO ./md5sums) \
            <(dpkg-deb --ctrl-tarfile "$second" | tar -xO ./md5sums)
        exit 1
    fi
    echo "a second build packed the same $(basename "$first")"
    ;;
start)
    # As a player starts it from the menu, by the entry's and its action's command lines:
    # the installed executable found on the PATH, no video driver named, the display
    # found alone.
    desktop=$2/usr/share/applications/org.brelvo.Brelvo.desktop
    for group in "Desktop Entry" "Desktop Action alone"; do
        command=$(entry_key "$desktop" "$group" Exec)
        # shellcheck disable=SC2086  # split as the menu splits it: no quotes in it
        PATH=$2/usr/games:$PATH env -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy $command &
        pid=$!
        id=
        for _ in $(seq 200); do
            id=$(xdotool search --onlyvisible --name '^Brelvo$' 2>/dev/null | head -n 1) && [ -n "$id" ] && break
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.05
        done
        [ -n "$id" ] || { kill "$pid" 2>/dev/null || true; echo "$command: no window"; exit 1; }
        # Only the press: the game ends on it, and its window may be gone before a release.
        xdotool keydown --window "$id" Escape
        wait "$pid" || { echo "$command: status $?"; exit 1; }
        # The next start must not find this window.
        for _ in $(seq 100); do
            xdotool search --onlyvisible --name '^Brelvo$' >/dev/null 2>&1 || break
            sleep 0.05
        done
        echo "$command from the installed entry opened its window and ended with status 0"
    done
    ;;
*)
    exit 2
    ;;
esac
