#!/usr/bin/env bash
# tools/play.sh and tools/test.sh typed with sudo say in one line that they need not be,
# then build, play and test as the user who typed it; started by root itself (a container,
# CI) they go on as root and say nothing of it. A throwaway user types them here; cmake
# and ctest are stand-ins that tell who ran them, and the game only prints its help.
#   sudo_test.sh SOURCE   (its build/default/brelvo built)
set -euo pipefail
source=$1
if [ "$(id -u)" -ne 0 ] || ! command -v useradd >/dev/null; then
    echo "skipped: only root makes a throwaway user"
    exit 77
fi
work=$(mktemp -d)
user=brelvo-sudo-$$
trap 'userdel "$user" 2>/dev/null || true; rm -rf "$work"' EXIT
chmod 755 "$work"
useradd --home-dir "$work/home" --create-home --shell /bin/sh "$user"
uid=$(id -u "$user")
gid=$(id -g "$user")
# Whoever types sudo in a checkout can reach it; a checkout in root's own home (as in the
# Debian 13 root the tests build) is out of a throwaway user's reach.
if ! setpriv --reuid="$uid" --regid="$gid" --init-groups \
    test -x "$source/tools/play.sh" -a -x "$source/build/default/brelvo"; then
    echo "skipped: $source is out of $user's reach"
    exit 77
fi
mkdir "$work/bin"
for tool in cmake ctest; do
    # shellcheck disable=SC2016
    printf '#!/bin/sh\necho "%s as $(id -un), home $HOME"\n' "$tool" >"$work/bin/$tool"
    chmod 755 "$work/bin/$tool"
done
fail() {
    echo "FAILED: $*"
    sed 's/^/  | /' "$work/out"
    exit 1
}
# who: sudo (the user typed sudo) or root (root itself).
run() {
    local who=$1
    shift
    if [ "$who" = sudo ]; then
        set -- env SUDO_USER="$user" SUDO_UID="$uid" SUDO_GID="$gid" "$@"
    else
        set -- env -u SUDO_USER -u SUDO_UID -u SUDO_GID "$@"
    fi
    (cd "$work" && PATH=$work/bin:$PATH "$@") >"$work/out" 2>&1 || fail "$* ended with $?"
}
said() { grep -c -F -x -e "$1" "$work/out" || true; }
owners_before=$(stat -c %U "$source" "$source/build" "$source/build/default")

for script in play.sh test.sh; do
    args=(--help)
    [ $script = test.sh ] && args=(default)
    run sudo "$source/tools/$script" "${args[@]}"
    line="$script need not be started with sudo: it goes on as $user and asks for sudo only to install packages"
    [ "$(said "$line")" = 1 ] || fail "sudo $script: not said once: $line"
    [ "$(said "cmake as $user, home $work/home")" -ge 1 ] || fail "sudo $script: cmake not as $user"
    grep -q "as root" "$work/out" && fail "sudo $script: something ran as root"
    run root "$source/tools/$script" "${args[@]}"
    grep -q "need not be started" "$work/out" && fail "$script as root: told of sudo"
    [ "$(said "cmake as root, home $HOME")" -ge 1 ] || fail "$script as root: cmake not as root"
done
# The game itself started as the user, with the player's arguments.
run sudo "$source/tools/play.sh" --help
grep -q "^  --computer " "$work/out" || fail "sudo play.sh --help: no help from the game"
[ "$(said "ctest as $user, home $work/home")" = 0 ] || fail "play.sh ran ctest"
run sudo "$source/tools/test.sh" default
[ "$(said "ctest as $user, home $work/home")" = 1 ] || fail "sudo test.sh: ctest not as $user"
# A checkout that is root's stays root's.
[ "$(stat -c %U "$source" "$source/build" "$source/build/default")" = "$owners_before" ] ||
    fail "the checkout changed owner"
echo "sudo tools/play.sh and tools/test.sh: one line, then all as $user; as root itself: as today"
