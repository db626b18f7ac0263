#!/usr/bin/env bash
# Runs one test program under wine: `run_test.sh env ... wine program args`. Now and then
# wine ends at once, having printed nothing and run nothing of the program; such a start,
# and only such, is made again. A program that printed anything is never run twice.
set -uo pipefail
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for attempt in 1 2 3; do
    "$@" 2>&1 | tee "$out"
    status=${PIPESTATUS[0]}
    if [ "$status" -eq 0 ] || [ -s "$out" ]; then
        exit "$status"
    fi
    echo "wine ended with status $status before the program printed anything (start $attempt of 3)" >&2
done
exit "$status"
