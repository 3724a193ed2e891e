#!/bin/sh
# Builds a fresh demo simulator tree in build/demo and runs the console front end on it:
# start, a BinPatch click, a cab-view click, and both back again, showing one live file as it
# changes. Usage: tools/demo.sh <native build folder>
set -eu

top=$(cd "$(dirname "$0")/.." && pwd)
native=$(cd "${1:-$top/build/native}" && pwd)
demo="$top/build/demo"
workdir="$demo/ZEK/BR927"
# The live front texture of one cab-view trainset: its content names the variant it came from.
live="../../trains/trainset/ZEK_BR927_serie1/Cabview/927_front1024.ace"

rm -rf "$demo"
"$native/demo-tree" "$demo" "$workdir"
cd "$workdir"

show_live() {
    printf '    live %s holds: %s\n\n' "${live#../../trains/trainset/}" "$(cat "$live")"
}
run() {
    printf '$ br927config %s\n' "$*"
    "$native/br927config" "$@" | sed 's/^/    /'
}

echo "Demo tree: $demo (working directory ZEK/BR927, state file 0 / 1024)"
echo
show_live
run
echo
run binpatch
show_live
run cabview
show_live
run binpatch cabview
show_live
printf 'State file now: %s\n' "$(od -An -c br927.zekconfig | tr -s ' ')"
