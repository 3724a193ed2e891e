#!/bin/sh
# Runs the Windows program under Wine on the demo tree that tools/demo.sh built
# (build/demo, working directory ZEK/BR927).
#   With $DISPLAY set: the program opens on that display (in a Wine desktop window), and this
#   script returns when it is closed.
#   Without a display: on a virtual one, a driver clicks both buttons and answers the
#   messages, PNG pictures of each step go to build/demo/, and the window is closed.
# Usage: tools/demo-windows.sh [the release's build folder]
set -eu

top=$(cd "$(dirname "$0")/.." && pwd)
release=$(cd "${1:-$top/build/win32}" && pwd)
demo="$top/build/demo"
workdir="$demo/ZEK/BR927"
program="$release/ZEK_BR927_config.exe"
driver="$release/tests/wine/demoDriver.exe"

[ -f "$workdir/br927.zekconfig" ] || { echo "demo-windows: no demo tree in $demo (run tools/demo.sh first)" >&2; exit 1; }
[ -f "$program" ] || { echo "demo-windows: $program is not built (make demo)" >&2; exit 1; }

# Wine sees the Unix root as drive Z:.
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

echo
echo "Windows program: $program"
printf '  working directory %s, state file: %s\n' "$workdir" "$(od -An -c "$workdir/br927.zekconfig" | tr -s ' ')"

if [ -n "${DISPLAY:-}" ]; then
    echo "  opening it on $DISPLAY; close the window to end the demo"
    cd "$workdir"
    BR927_WINE_DISPLAY=host "$top/tools/wine-env.sh" "$top/build" sh -c '"$BR927_WINE" "$1"' sh "$program"
    printf '  closed; state file now: %s\n' "$(od -An -c br927.zekconfig | tr -s ' ')"
    exit 0
fi

[ -f "$driver" ] || { echo "demo-windows: $driver is not built (make demo)" >&2; exit 1; }
pictures="$demo/pictures"
rm -rf "$pictures"
mkdir -p "$pictures"
echo "  no display: playing it on a virtual one"
cd "$workdir"
"$top/tools/wine-env.sh" "$top/build" sh -c '"$BR927_WINE" "$1" "$2" "$3"' sh \
    "$driver" "$(winpath "$program")" "$(winpath "$pictures")"
for bitmap in "$pictures"/*.bmp; do
    convert "$bitmap" "${bitmap%.bmp}.png"
    rm "$bitmap"
done
printf '  state file now: %s\n' "$(od -An -c br927.zekconfig | tr -s ' ')"
echo "Pictures of the Windows program:"
for picture in "$pictures"/*.png; do
    echo "  $picture"
done
