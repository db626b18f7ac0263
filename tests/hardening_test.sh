#!/usr/bin/env bash
# The executable is hardened as Debian builds its packages.
#   hardening_test.sh EXECUTABLE COMPILE_COMMANDS
set -euo pipefail
exe=$1 commands=$2
fail() { echo "not hardened: $*"; exit 1; }
readelf -hW "$exe" | grep -E 'Type: +DYN' >/dev/null || fail "not position-independent"
readelf -dW "$exe" | grep -E 'FLAGS_1.*PIE' >/dev/null || fail "no PIE flag"
readelf -lW "$exe" | grep GNU_RELRO >/dev/null || fail "no RELRO segment"
readelf -dW "$exe" | grep -E 'BIND_NOW|FLAGS_1.*NOW' >/dev/null || fail "RELRO is partial (no BIND_NOW)"
readelf -lW "$exe" | grep GNU_STACK | grep -E ' RW +0x' >/dev/null || fail "executable stack"
nm -D --undefined-only "$exe" | grep __stack_chk_fail >/dev/null || fail "no stack protector"
# _FORTIFY_SOURCE only rewrites calls whose buffer sizes the compiler knows; every game
# source must at least be compiled with it, optimised, so that such calls are checked.
for unit in director game games gamejedi gameover gametest splash resources embedded timers media; do
    grep -E "\"command\": .*-D_FORTIFY_SOURCE=2.*src/[a-z/]+/$unit\.cpp" "$commands" >/dev/null ||
        fail "$unit.cpp is not compiled with _FORTIFY_SOURCE=2"
done
grep -E '"command": .*-O2' "$commands" >/dev/null || fail "not optimised, so not fortified"
grep -E '"command": .*-fstack-protector-strong' "$commands" >/dev/null || fail "no -fstack-protector-strong"
echo "PIE, full RELRO, stack protector, _FORTIFY_SOURCE=2, non-executable stack"
