#!/usr/bin/env bash
# Builds the Windows game on this Debian machine and proves it under wine:
#   tools/windows.sh          installs what is missing, cross-builds SDL, SDL_mixer, libogg
#                             and libvorbis from Debian's source packages (cached), builds
#                             the game, checks that a second build elsewhere packs the same
#                             zip, runs the tests under wine in Xvfb and leaves
#                             build/windows/brelvo-<version>-win64.zip
#   tools/windows.sh libs     only the libraries; prints their prefix
# The libraries are built once per set of source versions into
# ${XDG_CACHE_HOME:-~/.cache}/brelvo/windows, outside the clone, so every checkout reuses them.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
started=$SECONDS
current_log=
build=$root/build/windows
again=$root/build/windows-again
# On a failure, the end of the log of the step that failed; always, wine's servers of
# these builds stop (the tests' Xvfb stops with them).
on_exit() {
    local status=$?
    if [ "$status" -ne 0 ] && [ -n "$current_log" ] && [ -f "$current_log" ]; then
        echo "== failed; the end of $current_log ==" >&2
        tail -n 40 "$current_log" >&2
    fi
    for wine_prefix in "$build/wine" "$again/wine"; do
        [ -d "$wine_prefix" ] || continue
        WINEPREFIX=$wine_prefix wineserver -k 2>/dev/null || true
        WINEPREFIX=$wine_prefix wineserver -w 2>/dev/null || true
    done
    if [ -f "$build/tests/xvfb.pid" ]; then
        kill "$(cat "$build/tests/xvfb.pid")" 2>/dev/null || true
        rm -f "$build/tests/xvfb.pid"
    fi
}
trap on_exit EXIT

WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
    g++ cmake make pkg-config dpkg-dev patch xz-utils
    python3 wine wine64 xvfb x11-utils xdotool imagemagick googletest libgtest-dev libx11-dev zip unzip)
tools/deps.sh "${WINDOWS_PACKAGES[@]}"

host=x86_64-w64-mingw32
cache=${XDG_CACHE_HOME:-$HOME/.cache}/brelvo/windows
mkdir -p "$cache"

# Debian's source packages come through a private apt configuration: its own deb-src
# list on the mirror the machine already uses, its own lists and cache, nothing of the
# machine's own apt touched.
apt_dir=$cache/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts"
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main" \
    >"$apt_dir/sources.list"
apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/parts"
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
    -o "Dir::State::status=/var/lib/dpkg/status" -o "APT::Sandbox::User=root"
    -o "Debug::NoLocking=1")
# A day-old index is fresh enough: a newer Debian revision then rebuilds the libraries.
if [ -z "$(find "$apt_dir/lists" -maxdepth 1 -name '*Sources*' -mmin -1440 2>/dev/null)" ]; then
    echo "Fetching the index of Debian's source packages"
    apt-get "${apt_options[@]}" update -qq
fi

SOURCES=(libogg libvorbis libsdl1.2 sdl-mixer1.2)
declare -A version
key=""
for source in "${SOURCES[@]}"; do
    version[$source]=$(apt-cache "${apt_options[@]}" showsrc "$source" |
        awk '/^Version:/{print $2}' | sort -V | tail -n 1)
    [ -n "${version[$source]}" ] || { echo "no source package $source" >&2; exit 1; }
    key+="$source=${version[$source]} "
done
# The recipe below is part of the key: changing how a library is built rebuilds them all.
recipe=$(sed -n '/^# recipe:start/,/^# recipe:end/p' "$0" | sha256sum | cut -c1-12)
prefix=$cache/prefix-$(echo "$key$recipe" | sha256sum | cut -c1-16)

# recipe:start
build_libraries() {
    local work=$cache/work
    rm -rf "$work" "$prefix.partial"
    mkdir -p "$work"
    local out=$prefix.partial
    (
        cd "$work"
        for source in "${SOURCES[@]}"; do
            apt-get "${apt_options[@]}" source -qq "$source=${version[$source]}" >/dev/null
        done
    )
    export PKG_CONFIG_LIBDIR=$out/lib/pkgconfig PKG_CONFIG_PATH=
    # Each library finds the ones built before it in the prefix.
    local configure=(--host=$host --prefix="$out" CFLAGS=-O2 CPPFLAGS="-I$out/include"
        LDFLAGS="-L$out/lib")
    current_log=$work/ogg.log
    (
        cd "$work"/libogg-*/
        touch configure
        ./configure "${configure[@]}"
        nice make -j2 && make install
    ) >"$current_log" 2>&1
    current_log=$work/vorbis.log
    (
        cd "$work"/libvorbis-*/
        touch configure
        ./configure "${configure[@]}" --disable-docs --disable-examples --disable-oggtest \
            --with-ogg="$out"
        nice make -j2 && make install
    ) >"$current_log" 2>&1
    current_log=$work/sdl.log
    (
        cd "$work"/libsdl1.2-*/
        # Debian's patch keeps SDLmain and -mwindows out of sdl-config; a Windows program
        # needs both to find its WinMain.
        patch -R -p1 -s <debian/patches/dont_propagate_lpthread.diff
        touch configure
        ./configure "${configure[@]}" --disable-rpath
        nice make -j2 && make install
    ) >"$current_log" 2>&1
    current_log=$work/mixer.log
    (
        cd "$work"/sdl-mixer1.2-*/
        touch configure
        ./configure "${configure[@]}" --with-sdl-prefix="$out" \
            --enable-music-ogg --disable-music-ogg-shared \
            --disable-music-mod --disable-music-mod-shared --disable-music-midi \
            --disable-music-timidity-midi --disable-music-native-midi \
            --disable-music-fluidsynth-midi --disable-music-fluidsynth-shared \
            --disable-music-mp3 --disable-music-mp3-shared --disable-music-flac \
            --disable-music-flac-shared --disable-music-cmd --disable-music-wave
        if grep -q 'Ogg Vorbis support disabled' config.log; then
            echo "SDL_mixer found no Ogg Vorbis" >&2
            exit 1
        fi
        # Only the library: the sample programs do not link for Windows.
        nice make -j2 build/libSDL_mixer.la
        make install-hdrs install-lib
    ) >"$current_log" 2>&1
    # Where the two LGPL libraries come from, for the zip's licence notes.
    mkdir -p "$out/share/licenses"
    for source in "${SOURCES[@]}"; do
        local dir=("$work/$source"-*/)
        cp "${dir[0]}debian/copyright" "$out/share/licenses/$source.copyright"
        echo "${version[$source]}" >"$out/share/licenses/$source.version"
    done
    cp "$work"/libogg-*/COPYING "$out/share/licenses/libogg.COPYING"
    cp "$work"/libvorbis-*/COPYING "$out/share/licenses/libvorbis.COPYING"
    cp "$work"/libsdl1.2-*/COPYING "$out/share/licenses/libsdl1.2.COPYING"
    cp "$work"/sdl-mixer1.2-*/COPYING "$out/share/licenses/sdl-mixer1.2.COPYING"
    echo "$key" >"$out/share/licenses/versions"
    # The prefix appears only when complete, under the name the key gives it.
    mv "$out" "$prefix"
    # Configure wrote the temporary prefix into the libraries' scripts and .pc files.
    grep -rlF "$out" "$prefix" | while read -r file; do
        sed -i "s|$out|$prefix|g" "$file"
    done
    rm -rf "$work"
    current_log=
}
# recipe:end

if [ ! -f "$prefix/lib/libSDL_mixer.dll.a" ]; then
    echo "Cross-building ${key}for Windows into $prefix"
    lib_started=$SECONDS
    build_libraries
    echo "Libraries built in $((SECONDS - lib_started)) s"
    # Older prefixes are from versions no longer current.
    find "$cache" -maxdepth 1 -name 'prefix-*' ! -path "$prefix" -exec rm -rf {} +
fi
if [ "${1:-}" = libs ]; then
    echo "$prefix"
    exit 0
fi

export BRELVO_WINDOWS_PREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
# Builds the game in folder $1, its tests too when $2 is ON, and packs the zip there.
build_game() {
    local dir=$1 fresh=()
    # A new prefix means new libraries: configure afresh so that nothing of the old is
    # cached.
    if [ -f "$dir/CMakeCache.txt" ] &&
        ! grep -qx "BRELVO_WINDOWS_PREFIX:UNINITIALIZED=$prefix" "$dir/CMakeCache.txt"; then
        fresh=(--fresh)
    fi
    # One wine server with its background services for the build, started here with no
    # terminal or pipe of ours: otherwise every program under wine starts its own
    # (seconds each), and the services it leaves behind hold the program's output open,
    # so that the build waits for them. The first start in a new prefix also sets the
    # prefix up (about 10 s).
    mkdir -p "$dir"
    export WINEPREFIX=$dir/wine
    wineserver -p </dev/null >/dev/null 2>&1 || true  # one may be running already
    DISPLAY= wine wineboot -i </dev/null >/dev/null 2>&1 || true
    cmake --preset windows -B "$dir" "${fresh[@]}" -DBRELVO_TESTS="$2" >/dev/null
    nice cmake --build "$dir" --parallel 2
    (cd "$dir" && cpack >/dev/null)
}
game_started=$SECONDS
build_game "$build" ON
echo "Game, tests and zip built in $((SECONDS - game_started)) s"

# The same commit packs the same zip wherever it is built: a second build of the game
# alone in another folder, later, under another umask and time zone and with the
# commit's date given as SOURCE_DATE_EPOCH (the first took it from git), must pack the
# first one's bytes.
again_started=$SECONDS
current_log=$again.log
(
    umask 077
    export TZ=Pacific/Kiritimati SOURCE_DATE_EPOCH
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 315532800)
    build_game "$again" OFF
    wineserver -k 2>/dev/null || true
) >"$current_log" 2>&1
current_log=
zip=("$build"/brelvo-*-win64.zip)
second=$again/${zip[0]##*/}
if ! cmp "${zip[0]}" "$second"; then
    diff <(zipinfo -v "${zip[0]}") <(zipinfo -v "$second") | head -n 40 >&2
    exit 1
fi
echo "A second build packed the same zip, in $((SECONDS - again_started)) s"

# The tests start the server again, with wine's desktop on their own X server.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
tests_started=$SECONDS
ctest --preset windows --timeout 300
echo "Tests under wine ran in $((SECONDS - tests_started)) s"
echo "Windows: ${zip[0]#"$root"/} ($(stat -c %s "${zip[0]}") bytes), all in $((SECONDS - started)) s"
