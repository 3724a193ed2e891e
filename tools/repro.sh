#!/bin/sh
# Checks that the release builds reproducibly: the committed tree (with any changes to tracked
# files not yet committed) is unpacked into two folders of different names and depths, and
# `make dist` runs in each, one after the other, from a clean start. Every file of the two
# packages must be the same byte for byte; otherwise the differing files are named.
# Usage: tools/repro.sh <scratch folder>
set -eu

top=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mkdir -p "$1" && cd "$1" && pwd)
# The time stamps of both builds come from the last commit.
SOURCE_DATE_EPOCH=$(git -C "$top" log -1 --format=%ct)
export SOURCE_DATE_EPOCH
tree=$(git -C "$top" stash create)
tree=${tree:-HEAD}

one="$scratch/one"
two="$scratch/second/build-here"
rm -rf "$scratch/one" "$scratch/second"
for folder in "$one" "$two"; do
    mkdir -p "$folder"
    git -C "$top" archive "$tree" | tar -x -C "$folder"
    echo "repro: building the release in $folder"
    make -C "$folder" --no-print-directory dist >/dev/null
done

status=0
for file in "$one"/build/dist/*/* "$one"/build/dist/*.zip; do
    relative=${file#"$one"/}
    if ! cmp -s "$file" "$two/$relative"; then
        echo "repro: $relative differs between the two builds" >&2
        status=1
    fi
done
[ "$status" -eq 0 ] && echo "repro: both builds are the same, byte for byte:" && (cd "$one/build/dist" && sha256sum -- *.zip */*)
exit "$status"
