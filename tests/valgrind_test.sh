#!/usr/bin/env bash
# A whole match under memcheck: no invalid read or write, nothing definitely lost.
#   valgrind_test.sh MATCH_DRIVER SUPPRESSIONS
set -uo pipefail
log=$(mktemp)
trap 'rm -f "$log"' EXIT
out=$(valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
    --show-leak-kinds=definite --errors-for-leak-kinds=definite \
    --suppressions="$2" --log-file="$log" "$1" 3)
status=$?
grep -E 'ERROR SUMMARY|definitely lost' "$log"
if [ $status -ne 0 ]; then
    cat "$log"
    echo "memcheck failed with status $status"
    exit 1
fi
[ "$out" = "match finished" ] || { echo "the match did not finish by itself: $out"; exit 1; }
echo "a whole match under memcheck: clean"
