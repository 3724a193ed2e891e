#!/bin/sh
# Packs the release: build/dist/ZEK_BR927_config-<version>.zip with the i686 window program,
# the i686 console, LIESMICH.txt and SHA256SUMS. The zip is the same, byte for byte, from
# every build of one commit: fixed entry order, permissions and times (SOURCE_DATE_EPOCH,
# the last commit's time unless given), and no extra attributes.
# Usage: tools/dist.sh <i686 release build folder> <output folder>
set -eu

top=$(cd "$(dirname "$0")/.." && pwd)
release=$(cd "$1" && pwd)
out=$(mkdir -p "$2" && cd "$2" && pwd)
version=$(head -n 1 "$top/VERSION")
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$top" log -1 --format=%ct 2>/dev/null) || {
        echo "dist: no SOURCE_DATE_EPOCH and no git history to take it from" >&2
        exit 1
    }
fi

name="ZEK_BR927_config-$version"
stage="$out/$name"
rm -rf "$stage" "$out/$name.zip"
mkdir -p "$stage"
cp "$release/ZEK_BR927_config.exe" "$release/br927config.exe" "$stage/"
# Windows line ends, so that every editor shows the guide as lines.
sed 's/$/\r/' "$top/dist/LIESMICH.txt" >"$stage/LIESMICH.txt"
(cd "$stage" && sha256sum ZEK_BR927_config.exe br927config.exe LIESMICH.txt >SHA256SUMS)

entries="ZEK_BR927_config.exe br927config.exe LIESMICH.txt SHA256SUMS"
for entry in $entries; do
    chmod 0644 "$stage/$entry"
    touch -d "@$SOURCE_DATE_EPOCH" "$stage/$entry"
done
# zip stores local times: UTC makes them the same everywhere. -X leaves out owner and
# extended time fields, -D folder entries; the order is the order given.
# shellcheck disable=SC2086
(cd "$stage" && TZ=UTC zip -q -X -D "$out/$name.zip" $entries)
echo "$out/$name.zip"
