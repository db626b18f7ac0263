#!/usr/bin/env bash
# Starts or stops the X server that the real-window tests draw on.
#   xvfb.sh start DISPLAY PIDFILE | xvfb.sh stop DISPLAY PIDFILE
# -noreset: without it Xvfb resets when its last client leaves, and the next test's
# window may fail to connect.
set -u
action=$1 display=$2 pidfile=$3
case $action in
start)
    if DISPLAY=$display xdpyinfo >/dev/null 2>&1; then
        exit 0  # someone's server is already there; use it and leave it running
    fi
    rm -f "/tmp/.X${display#:}-lock" "/tmp/.X11-unix/X${display#:}"
    setsid Xvfb "$display" -screen 0 1280x1024x24 -noreset -nolisten tcp \
        </dev/null >/dev/null 2>&1 &
    echo $! >"$pidfile"
    for _ in $(seq 100); do
        DISPLAY=$display xdpyinfo >/dev/null 2>&1 && exit 0
        sleep 0.1
    done
    echo "Xvfb did not start on $display" >&2
    exit 1
    ;;
stop)
    if [ -f "$pidfile" ]; then
        kill "$(cat "$pidfile")" 2>/dev/null
        rm -f "$pidfile"
    fi
    exit 0
    ;;
esac
exit 2
