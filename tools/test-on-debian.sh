#!/usr/bin/env bash
# Runs the whole suite on another Debian release from this machine:
#   tools/test-on-debian.sh 13 [preset...]
# Builds a clean root of that release with debootstrap from Debian's own archive, clones
# this checkout's committed HEAD into it, installs that release's packages there and runs
# tools/test.sh. Needs root (chroot, mount). The root is kept between runs in
# BRELVO_DEBIAN_ROOT (default /var/cache/brelvo/debian-N) once its packages are in;
# BRELVO_DEBIAN_FRESH=1 builds it again from nothing. Whatever happens (failure, Ctrl-C),
# it unmounts what it mounted and ends what it started inside the root.
set -euo pipefail
usage="usage: tools/test-on-debian.sh 12|13 [preset...]"
[ $# -ge 1 ] || { echo "$usage" >&2; exit 2; }
release=$1
shift
case $release in
12) suite=bookworm ;;
13) suite=trixie ;;
*) echo "$usage" >&2; exit 2 ;;
esac
[ "$(id -u)" -eq 0 ] || { echo "needs root: debootstrap, chroot and mount" >&2; exit 1; }
source_dir=$(cd "$(dirname "$0")/.." && pwd)
"$source_dir/tools/deps.sh" debootstrap git
commit=$(git -C "$source_dir" rev-parse HEAD)
mirror=${BRELVO_DEBIAN_MIRROR:-http://deb.debian.org/debian}
root=${BRELVO_DEBIAN_ROOT:-/var/cache/brelvo/debian-$release}
debs=$(dirname "$root")/debootstrap-debs-$suite
stamp=$root/.brelvo-root-complete
clone=/root/brelvo

started=$SECONDS
phase_started=$SECONDS
phase() {
    echo "== $1: $((SECONDS - phase_started)) s (total $((SECONDS - started)) s) =="
    phase_started=$SECONDS
}

mounted=()
cleanup() {
    local status=$?
    trap - EXIT INT TERM
    # Anything still running with its root inside ours (an Xvfb, a game under test).
    local pids=() link pid
    for link in /proc/[0-9]*/root; do
        pid=${link#/proc/}
        pid=${pid%/root}
        [ "$(readlink "$link" 2>/dev/null)" = "$root" ] && pids+=("$pid")
    done
    if [ ${#pids[@]} -gt 0 ]; then
        kill -TERM "${pids[@]}" 2>/dev/null || true
        sleep 1
        kill -KILL "${pids[@]}" 2>/dev/null || true
    fi
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" ||
            echo "could not unmount ${mounted[i]}" >&2
    done
    if findmnt -rn -o TARGET | grep -q "^$root/"; then
        echo "mounts left under $root:" >&2
        findmnt -rn -o TARGET | grep "^$root/" >&2
        status=1
    fi
    if ((status == 0)); then
        echo "== Debian $release: passed after $((SECONDS - started)) s =="
    else
        echo "== Debian $release: FAILED (status $status) after $((SECONDS - started)) s =="
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Mounts one file system and remembers it; private, so that nothing mounted below the
# root reaches the host's own /dev.
mount_in_root() {
    local target=$root/$1
    shift
    mount "$@" "$target"
    mounted+=("$target")
    mount --make-rprivate "$target"
}

# 1. The root: a minimal Debian of that release, as debootstrap leaves it.
if [ "${BRELVO_DEBIAN_FRESH:-0}" = 1 ] || [ ! -e "$stamp" ]; then
    echo "== building a Debian $release ($suite) root in $root from $mirror =="
    rm -rf --one-file-system "$root"
    mkdir -p "$root" "$debs"
    debootstrap --variant=minbase --cache-dir="$debs" "$suite" "$root" "$mirror" \
        >"$root.debootstrap.log" 2>&1 || {
        tail -20 "$root.debootstrap.log" >&2
        exit 1
    }
    security=${mirror%/debian}/debian-security
    cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror $suite main
deb $mirror $suite-updates main
deb $security $suite-security main
EOF
    # Packages install there without starting any service.
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
    chmod +x "$root/usr/sbin/policy-rc.d"
    phase "debootstrap"
else
    echo "== reusing the Debian $release root in $root (BRELVO_DEBIAN_FRESH=1 rebuilds it) =="
fi

# 2. What builds and Xvfb need inside: processes, devices, terminals, shared memory, names.
mount_in_root proc -t proc proc
mount_in_root sys -t sysfs sysfs
mount_in_root dev --bind /dev
mount_in_root dev/pts --bind /dev/pts
mount_in_root dev/shm -t tmpfs -o mode=1777,nosuid,nodev tmpfs
cp -L /etc/resolv.conf "$root/etc/resolv.conf"

# 3. The project as committed: a clone of HEAD, never the working tree's loose edits.
rm -rf "${root:?}$clone"
git clone -q "$source_dir" "$root$clone"
git -C "$root$clone" checkout -q --detach "$commit"
echo "== testing $(git -C "$source_dir" log -1 --format='%h %s' "$commit") =="

# In the background and waited for, so that a TERM reaches the trap at once rather than
# when the suite ends.
in_root() {
    chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        nice bash -c "cd $clone && $1" bash "${@:2}" &
    wait $!
}

# 4. That release's packages, timed on their own, then the suite. The quoted commands
# expand inside the root. A root left half-installed (an interrupted apt) is not reused:
# it is built again.
rm -f "$stamp"
# shellcheck disable=SC2016
in_root '. tools/packages.sh && tools/deps.sh "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"'
touch "$stamp"
phase "packages"
# shellcheck disable=SC2016
in_root 'tools/test.sh "$@"' "$@"
phase "suite"
