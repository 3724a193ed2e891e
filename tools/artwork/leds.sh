#!/bin/bash
# Prints MVG circles for a short line number on the destination display,
# in a 5x7 dot-matrix face. Usage: leds.sh TEXT X0 Y0 PITCH RADIUS
# (X0,Y0 = centre of the top-left dot, 256-grid units).
set -euo pipefail
text=$1 x0=$2 y0=$3 pitch=$4 r=$5
glyph() {
  case $1 in
    S) printf '%s\n' 01111 10000 10000 01110 00001 00001 11110 ;;
    7) printf '%s\n' 11111 00001 00010 00100 01000 01000 01000 ;;
    1) printf '%s\n' 00100 01100 00100 00100 00100 00100 01110 ;;
    *) echo "leds.sh: no glyph for '$1'" >&2; exit 1 ;;
  esac
}
col=0
for ((i = 0; i < ${#text}; i++)); do
  row=0
  while read -r bits; do
    for ((c = 0; c < 5; c++)); do
      if [[ ${bits:c:1} == 1 ]]; then
        awk -v x="$x0" -v y="$y0" -v p="$pitch" -v r="$r" -v c=$((col + c)) -v w="$row" \
          'BEGIN { cx = x + c * p; cy = y + w * p; printf "circle %.2f,%.2f %.2f,%.2f\n", cx, cy, cx + r, cy }'
      fi
    done
    row=$((row + 1))
  done < <(glyph "${text:i:1}")
  col=$((col + 6))
done
