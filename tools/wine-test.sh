#!/bin/sh
# Runs one Windows test program under Wine: the i686 build's emulator, so ctest runs every
# test (and lists them) through it, inside tools/wine-env.sh.
#
# Wine has been seen to end a test process at its very start, before the program wrote a
# byte. A run that ends so, with a failure status and no output at all on either stream, is
# run once more, and says so on standard error. Every other run counts as it ends: a test that
# fails after it started, however early, fails, and is never tried again.
#
# Usage: tools/wine-test.sh <program.exe> [arguments...]
set -u

out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
for attempt in 1 2; do
    "${BR927_WINE:-wine}" "$@" >"$out" 2>"$err"
    status=$?
    cat "$out"
    cat "$err" >&2
    if [ "$status" -eq 0 ] || [ -s "$out" ] || [ -s "$err" ] || [ "$attempt" -eq 2 ]; then
        exit "$status"
    fi
    echo "wine-test: Wine ended $1 at its start (status $status, no output); running it once more" >&2
done
