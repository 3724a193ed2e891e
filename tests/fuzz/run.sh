#!/bin/sh
# Runs the state-file fuzzer for a number of seconds over the seed corpus kept here (new
# inputs go to a work corpus in the build folder) and prints how many inputs were tried and
# how many mismatched. Usage: run.sh <fuzzer> <seconds> <work folder>
set -u
fuzzer=$1 seconds=$2 work=$3
# Absolute paths: the fuzzer works inside a private temporary folder.
mkdir -p "$work/corpus" "$work/artifacts"
work=$(cd "$work" && pwd)
seeds=$(cd "$(dirname "$0")/corpus" && pwd)
log=$work/fuzz.log
"$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
    "$work/corpus" "$seeds" >"$log" 2>&1 &
pid=$!
wait $pid
status=$?
rm -rf "/dev/shm/br927-fuzz-$pid" "/tmp/br927-fuzz-$pid"
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
mismatches=$(grep -c '^MISMATCH' "$log")
echo "state-file fuzzer: ${runs:-?} inputs tried in ${seconds} s, $mismatches mismatches, exit status $status"
if [ "$status" -ne 0 ]; then
    grep -E '^MISMATCH|ERROR: |SUMMARY: ' "$log" | head -n 20
    ls "$work/artifacts"
    exit 1
fi
