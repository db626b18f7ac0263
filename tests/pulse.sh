#!/usr/bin/env bash
# Starts or stops the sound server that the sound tests record from: a PulseAudio of
# the tests' own whose one output is a null sink named "out", heard on "out.monitor".
#   pulse.sh start LINK | pulse.sh stop LINK
# The server lives in a fresh folder under /tmp (a socket's path must be short) and
# LINK, in the build tree, points at it; clients reach it at LINK's target + /native.
# It never meets a desktop's own server: it starts from an empty environment (no
# DISPLAY, no session bus, its own HOME and runtime folder), loads no default
# configuration, and its clients never autospawn one.
set -u
action=$1 link=$2

stop() {
    [ -L "$link" ] || return 0
    local dir pid
    dir=$(readlink "$link")
    if [ -f "$dir/pid" ]; then
        pid=$(cat "$dir/pid")
        # Only if that process is still our server, not a later one given its number.
        if grep -qs pulseaudio "/proc/$pid/comm" && kill "$pid" 2>/dev/null; then
            for _ in $(seq 50); do
                kill -0 "$pid" 2>/dev/null || break
                sleep 0.1
            done
        fi
    fi
    case $dir in
    */brelvo-pulse.*) rm -rf "$dir" ;;
    esac
    rm -f "$link"
}

# What a client of this server needs, the tests' own clients included.
client_env() {
    local dir=$1
    echo "PULSE_SERVER=unix:$dir/native" "PULSE_CLIENTCONFIG=$dir/client.conf" \
        "PULSE_COOKIE=$dir/.config/pulse/cookie"
}

case $action in
start)
    stop  # a server left behind by an interrupted run
    dir=$(mktemp -d "${TMPDIR:-/tmp}/brelvo-pulse.XXXXXX") || exit 1
    ln -s "$dir" "$link" || exit 1
    printf 'autospawn = no\n' >"$dir/client.conf"
    # --system=no: as root it would otherwise refuse to start without --system.
    # shellcheck disable=SC2046
    env -i PATH="$PATH" HOME="$dir" XDG_RUNTIME_DIR="$dir" PULSE_RUNTIME_PATH="$dir" \
        PULSE_STATE_PATH="$dir" $(client_env "$dir") \
        pulseaudio --daemonize=yes --system=no -n --exit-idle-time=-1 --use-pid-file=yes \
        --log-target=file:"$dir/log" \
        --load="module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
        --load="module-null-sink sink_name=out" </dev/null >/dev/null 2>&1
    for _ in $(seq 100); do
        # shellcheck disable=SC2046
        if env -i PATH="$PATH" HOME="$dir" $(client_env "$dir") pactl info >/dev/null 2>&1; then
            exit 0
        fi
        sleep 0.1
    done
    echo "PulseAudio did not start in $dir:" >&2
    cat "$dir/log" >&2 2>/dev/null
    stop
    exit 1
    ;;
stop)
    stop
    exit 0
    ;;
esac
exit 2
