#!/usr/bin/env bash
# The pads' controller layout as docs/playing.md says to start it: on this machine's
# Debian release, its command (with this build's game, and Debian's libsdl1.2-compat
# unpacked in COMPAT_DIR where Debian 12 installs it in /usr/lib/<arch>/sdl12-compat)
# runs a game that has sdl12-compat loaded (libSDL-1.2.so.1.2.N; the classic library is
# libSDL-1.2.so.0.11.N). On Debian 12 the variable alone, which the classic SDL 1.2
# ignores, leaves the classic library loaded.
#   compat_command_test.sh PLAYING_MD GAME [COMPAT_DIR]   (no COMPAT_DIR: Debian 13)
set -euo pipefail
docs=$1 game=$2 compat=${3:-}
fail() {
    echo "FAILED: $*"
    exit 1
}
# The doc's command line that starts the game for this release.
if [ -n "$compat" ]; then
    command=$(grep -E '^LD_LIBRARY_PATH=/usr/lib/[^ ]+/sdl12-compat .*brelvo$' "$docs" | head -n 1 || true)
    [ -n "$command" ] || fail "no command for Debian 12 in $docs"
    arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
    folder=$(sed -E 's/^LD_LIBRARY_PATH=([^ ]+) .*/\1/' <<<"$command")
    # The docs write a PC's folder; tools/sdl12-compat.sh unpacks from the same place.
    [ "$arch" != x86_64-linux-gnu ] || [ "$folder" = "/usr/lib/$arch/sdl12-compat" ] ||
        fail "the docs name $folder, not libsdl1.2-compat's /usr/lib/$arch/sdl12-compat"
else
    command=$(grep -E '^SDL12COMPAT_USE_GAME_CONTROLLERS=1 brelvo$' "$docs" | head -n 1 || true)
fi
[ -n "$command" ] || fail "no command for this release in $docs"
echo "the docs: $command"

# Starts `words` (VAR=value... brelvo) as this build's game, headless; prints the path of
# the libSDL-1.2 it loaded.
loaded() {
    local words=() word pid maps=""
    for word in "$@"; do
        [ "$word" = brelvo ] && word=$game
        [ -n "$compat" ] && word=${word/#LD_LIBRARY_PATH=\/usr\/lib\/*\/sdl12-compat/LD_LIBRARY_PATH=$compat}
        words+=("$word")
    done
    env SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy "${words[@]}" >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 100); do
        maps=$(cat "/proc/$pid/maps" 2>/dev/null || true)
        grep -q 'libSDL-1.2' <<<"$maps" && grep -q 'libSDL_mixer' <<<"$maps" && break
        sleep 0.05
    done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    grep -o '/[^ ]*libSDL-1\.2[^ ]*' <<<"$maps" | head -n 1
}
compat_library() { [[ ${1##*/} == libSDL-1.2.so.1.2.* ]]; }
read -r -a words <<<"$command"
shown=$(loaded "${words[@]}")
echo "loaded: $shown"
compat_library "$shown" || fail "not sdl12-compat: $shown"
if [ -n "$compat" ]; then
    [[ $shown == "$compat"/* ]] || fail "not the sdl12-compat of $compat"
    plain=$(loaded SDL12COMPAT_USE_GAME_CONTROLLERS=1 brelvo)
    echo "without LD_LIBRARY_PATH: $plain"
    if [ -z "$plain" ] || compat_library "$plain"; then
        fail "the classic SDL 1.2 was not the default"
    fi
fi
echo "sdl12-compat loaded as the docs start the game"
