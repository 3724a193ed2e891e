#!/bin/sh
# Runs one build step with its output kept in a log file, which is shown only when the step
# fails; with V=1 the output goes straight to the terminal.
# Usage: tools/quiet.sh <log file> <command> [arguments...]
set -eu

log=$1
shift
if [ "${V:-0}" = 1 ]; then
    exec "$@"
fi
mkdir -p "$(dirname "$log")"
"$@" >"$log" 2>&1 || {
    status=$?
    cat "$log" >&2
    echo "failed ($status): $* (output above, also in $log)" >&2
    exit "$status"
}
