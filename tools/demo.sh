#!/bin/sh
# Builds a fresh demo simulator tree in build/demo and runs the console front end on it:
# start, a BinPatch click, a cab-view click, and both back again, showing one live file as it
# changes; and the check of the live files on the fresh tree, after the clicks and after a
# live file has been changed by hand. Usage: tools/demo.sh <native build folder>
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
# Runs the console, its output indented, and names an exit code other than 0.
run() {
    printf '$ br927config %s\n' "$*"
    status=0
    "$native/br927config" "$@" >"$demo/output" || status=$?
    sed 's/^/    /' "$demo/output"
    rm "$demo/output"
    [ "$status" -eq 0 ] || printf '    (exit code %s)\n' "$status"
}

echo "Demo tree: $demo (working directory ZEK/BR927, state file 0 / 1024)"
echo
show_live
run
echo
run check
echo
run binpatch
show_live
run cabview
show_live
run binpatch cabview
show_live
printf 'State file now: %s\n\n' "$(od -An -c br927.zekconfig | tr -s ' ')"
run check
echo
echo "A live engine definition changed by hand, another removed:"
echo "edited by hand" >>../../trains/trainset/ZEK_BR927_ki/ZEK_BR_927-ki-k.eng
rm ../../trains/trainset/ZEK_BR927_ICE2_KI/ZEK_BR402_KI.eng
run check
