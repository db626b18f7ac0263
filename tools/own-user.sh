# shellcheck shell=bash
# Started with sudo, a script of the game builds and plays as the user who typed it: root
# usually cannot reach that user's desktop and sound server, and would own build/. Only
# apt-get needs root, which the script has had by then (tools/deps.sh). Started by root
# itself (a container, CI), it goes on as root.
#   as_own_user SCRIPT ARGS...   (from the source's root, after tools/deps.sh)
as_own_user() {
    local script=$1 home runtime
    shift
    if [ "$(id -u)" -ne 0 ] || [ -z "${SUDO_USER:-}" ] || [ "${SUDO_UID:-0}" -eq 0 ]; then
        return 0
    fi
    echo "${script##*/} need not be started with sudo: it goes on as $SUDO_USER and asks for sudo only to install packages" >&2
    home=$(getent passwd "$SUDO_USER" | cut -d: -f6)
    # A build/ that an earlier run as root left in the user's own checkout is theirs again.
    if [ -d build ] && [ "$(stat -c %u .)" = "$SUDO_UID" ] && [ "$(stat -c %u build)" = 0 ]; then
        chown -R "$SUDO_UID:${SUDO_GID:-$SUDO_UID}" build
    fi
    runtime=/run/user/$SUDO_UID  # the user's sound server and desktop sockets
    if [ -d "$runtime" ]; then export XDG_RUNTIME_DIR=$runtime; else unset XDG_RUNTIME_DIR; fi
    exec env HOME="${home:-/}" USER="$SUDO_USER" LOGNAME="$SUDO_USER" \
        setpriv --reuid="$SUDO_UID" --regid="${SUDO_GID:-$SUDO_UID}" --init-groups \
        "$PWD/$script" "$@"
}
