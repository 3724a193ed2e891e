#!/bin/sh
# Runs ctest and prints what a test run is asked for: every failing test with its output, and
# the summary. With V=1, ctest's whole output, a line for every test.
# Usage: tools/run-tests.sh <ctest arguments...>
set -eu

if [ "${V:-0}" = 1 ]; then
    exec ctest "$@"
fi
status_file=$(mktemp)
{
    status=0
    ctest "$@" 2>&1 || status=$?
    echo "$status" >"$status_file"
} | grep -v -E '^ *Start +[0-9]+: |^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed +[0-9.]+ sec$|^Internal ctest changing into directory|^$' || true
status=$(cat "$status_file")
rm -f "$status_file"
exit "$status"
