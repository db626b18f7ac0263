#!/usr/bin/env bash
# Prints the folder of a libSDL-1.2.so.0 that is sdl12-compat (SDL 1.2 over SDL2), for the
# tests and benchmarks that play gamepads over it, on a machine whose own SDL 1.2 is the
# classic one (Debian 12): Debian's libsdl1.2-compat, unpacked into build/sdl12-compat and
# never installed. Prints nothing where the machine's SDL 1.2 is sdl12-compat (Debian 13).
set -euo pipefail
cd "$(dirname "$0")/.."
if dpkg --compare-versions "$(pkg-config --modversion sdl)" ge 1.2.50; then
    exit 0
fi
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
candidate() { apt-cache policy libsdl1.2-compat | awk '/Candidate:/{print $2}'; }
version=$(candidate)
if [ -z "$version" ] || [ "$version" = "(none)" ]; then
    "${sudo[@]}" apt-get update -qq >&2
    version=$(candidate)
fi
dir=$PWD/build/sdl12-compat/$version
if [ ! -e "$dir/libSDL-1.2.so.0" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    (cd "$work" && apt-get download -qq -o APT::Sandbox::User=root "libsdl1.2-compat=$version") >&2
    dpkg -x "$work"/libsdl1.2-compat_*.deb "$work/root"
    rm -rf "$dir"
    mkdir -p "$dir"
    cp -a "$work"/root/usr/lib/*/sdl12-compat/libSDL-1.2.so* "$dir"/
fi
echo "$dir"
