#!/bin/bash
# Redraws the window artwork and the application icon into src/win32/res/.
#
#   tools/artwork/draw.sh            regenerate everything
#   PREVIEW=/tmp/x tools/artwork/draw.sh   also leave PNG previews in /tmp/x
#
# Needs bash, ImageMagick 6 (convert), python3 and the Debian font packages
# fonts-liberation.  The product build only uses the committed outputs.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
out=$root/src/win32/res
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"

font_bold=/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf
font_narrow=/usr/share/fonts/truetype/liberation/LiberationSansNarrow-Bold.ttf
for f in "$font_bold" "$font_narrow"; do
  [[ -r $f ]] || { echo "draw.sh: missing font $f (apt-get install fonts-liberation)" >&2; exit 1; }
done

# Everything with curves is drawn at SS times the final size and reduced with
# a box filter, which gives clean anti-aliased edges without ringing.
SS=4

# Colours shared by the background and the indicator fields.
yellow_deep='#F4B400'
yellow_pale='#FFF4D2'
red='#B3211B'

# MVG for the detailed train, placed with its 256-grid scaled by $1 and
# moved by ($2,$3) in output pixels (the caller's canvas is SS times larger).
train_mvg() {
  local s=$1 tx=$2 ty=$3
  echo "push graphic-context"
  echo "scale $SS,$SS"
  echo "translate $tx,$ty"
  echo "scale $s,$s"
  cat "$here/train.mvg"
  echo "push graphic-context"
  echo "stroke none"
  echo "fill '#FFB020'"
  "$here/leds.sh" S7 83 28.4 2.2 0.9
  echo "pop graphic-context"
  echo "pop graphic-context"
}

bmp24() { # bmp24 IN OUT : flatten to an uncompressed 24-bit bottom-up BMP
  convert "$1" -background black -alpha remove -alpha off -type TrueColor BMP3:"$2"
}

# --------------------------------------------------------------------------
# Background, 490x171: white title strip, yellow ground, train, black panel.
W=490 H=171 strip=30
WS=$((W * SS)) HS=$((H * SS))

# ground: deep yellow at the top fading to cream at the bottom
convert -size ${WS}x$(((H - strip) * SS)) gradient:"$yellow_deep-$yellow_pale" "$tmp/ground.png"

# train, with a soft shadow thrown down and to the right onto the ground
convert -size ${WS}x${HS} xc:none -draw "$(train_mvg 0.68 -5 22)" "$tmp/train_layer.png"
convert "$tmp/train_layer.png" \( +clone -background '#5A3A00' -shadow 45x$((3 * SS))+$((4 * SS))+$((3 * SS)) \) \
  +swap -background none -layers merge +repage -crop ${WS}x${HS}+0+0 +repage "$tmp/train_shadowed.png"

# logo: red rounded badge, ochre slash, white letters
logo_mvg="
scale $SS,$SS
stroke none
fill '$red'
roundrectangle 6,6 52,24 4,4
fill '#E8A92A'
path 'M40,6 L45,6 L39,24 L34,24 Z'
fill '$yellow_pale'
path 'M47,6 L48,6 Q52,6 52,10 L52,13 L48,24 L42,24 Z'
"
convert -size ${WS}x${HS} xc:white \
  "$tmp/ground.png" -geometry +0+$((strip * SS)) -composite \
  -draw "scale $SS,$SS fill '$red' rectangle 0,$strip $W,$((strip + 1))" \
  -draw "$logo_mvg" \
  "$tmp/train_shadowed.png" -composite \
  -draw "scale $SS,$SS fill black roundrectangle 177,56 484,147 7,7" \
  -filter Box -resize ${W}x${H}! "$tmp/bg_shapes.png"

# text goes on at final size so FreeType's anti-aliasing stays crisp
text_png() { # text_png FONT SIZE COLOUR TEXT OUT  (trimmed to the ink)
  convert -background none -fill "$3" -font "$1" -pointsize "$2" label:"$4" -trim +repage "$5"
}
text_png "$font_bold" 12 white "ZEK" "$tmp/logo_text.png"
text_png "$font_bold" 17 '#262626' "VE927 Varerevuridid" "$tmp/heading.png"
text_png "$font_bold" 14 white "BinPatch" "$tmp/label_bin.png"
text_png "$font_bold" 14 white "Cabview" "$tmp/label_cab.png"

# place PNG so the centre of its ink sits at (cx, cy) given in 0.5-pixel steps
# as twice the coordinate (integers keep bash arithmetic simple)
at_centre() { # at_centre PNG CX2 CY2 -> +x+y
  local w h
  read -r w h < <(identify -format '%w %h' "$1")
  echo "+$(((${2} - w + 1) / 2))+$(((${3} - h + 1) / 2))"
}
at_left() { # at_left PNG X CY2 -> +x+y  (left edge at X, vertically centred)
  local h
  h=$(identify -format '%h' "$1")
  echo "+$2+$(((${3} - h + 1) / 2))"
}

# rows: upper y 67..91, lower y 112..136 (25 px each), centres 79.5 / 124.5
convert "$tmp/bg_shapes.png" \
  "$tmp/logo_text.png" -geometry "$(at_centre "$tmp/logo_text.png" 42 30)" -composite \
  "$tmp/heading.png" -geometry "$(at_left "$tmp/heading.png" 60 30)" -composite \
  "$tmp/label_bin.png" -geometry "$(at_left "$tmp/label_bin.png" 189 159)" -composite \
  "$tmp/label_cab.png" -geometry "$(at_left "$tmp/label_cab.png" 189 249)" -composite \
  "$tmp/background.png"
bmp24 "$tmp/background.png" "$out/background.bmp"

# --------------------------------------------------------------------------
# Indicator fields, 85x25: black condensed bold word on a lit yellow field.
indicator() { # indicator NAME TEXT
  text_png "$font_narrow" 16 black "$2" "$tmp/ind_text.png"
  convert -size 85x25 gradient:'#FFD54A'-"$yellow_deep" \
    -fill none -stroke '#C98F00' -strokewidth 1 -draw "rectangle 0,0 84,24" \
    "$tmp/ind_text.png" -geometry "$(at_centre "$tmp/ind_text.png" 85 25)" -composite \
    "$tmp/$1.png"
  bmp24 "$tmp/$1.png" "$out/$1.bmp"
}
indicator bin_on "aktiviert"
indicator bin_off "deaktiviert"
indicator cab_1024 "1024x768"
indicator cab_1280 "1280x1024"

# --------------------------------------------------------------------------
# Application icon. 256..48 use the detailed drawing, 32..16 the simplified
# one; 48 px exists twice (8-bit and 32-bit) from the same picture.
icon_png() { # icon_png SIZE
  local n=$1 c=$(($1 * SS)) s
  s=$(awk -v n="$n" 'BEGIN { print n / 256 }')
  if ((n > 32)); then
    convert -size ${c}x${c} xc:none -draw "$(train_mvg "$s" 0 0)" -filter Box -resize "${n}x${n}" "$tmp/icon$n.png"
  else
    convert -size ${c}x${c} xc:none -draw "scale $SS,$SS
scale $s,$s
$(cat "$here/train_small.mvg")" -filter Box -resize "${n}x${n}" "$tmp/icon$n.png"
  fi
  convert "$tmp/icon$n.png" -depth 8 rgba:"$tmp/icon$n.rgba"
}
for n in 256 128 64 48 32 24 16; do icon_png $n; done

# 8-bit versions: 255 colours plus black kept free for the masked pixels
for n in 48 32 24 16; do
  convert "$tmp/icon$n.png" -alpha off +dither -colors 255 -depth 8 rgb:"$tmp/icon$n.q.rgb"
done

python3 "$here/make_ico.py" "$out/app.ico" \
  dib8:48:"$tmp/icon48.rgba":"$tmp/icon48.q.rgb" \
  dib8:32:"$tmp/icon32.rgba":"$tmp/icon32.q.rgb" \
  dib8:24:"$tmp/icon24.rgba":"$tmp/icon24.q.rgb" \
  dib8:16:"$tmp/icon16.rgba":"$tmp/icon16.q.rgb" \
  png:256:"$tmp/icon256.rgba" \
  dib32:128:"$tmp/icon128.rgba" \
  dib32:64:"$tmp/icon64.rgba" \
  dib32:48:"$tmp/icon48.rgba" \
  dib32:32:"$tmp/icon32.rgba" \
  dib32:24:"$tmp/icon24.rgba" \
  dib32:16:"$tmp/icon16.rgba"

if [[ -n ${PREVIEW:-} ]]; then
  mkdir -p "$PREVIEW"
  cp "$tmp"/background.png "$tmp"/bin_on.png "$tmp"/bin_off.png "$tmp"/cab_1024.png "$tmp"/cab_1280.png "$PREVIEW"/
  for n in 256 128 64 48 32 24 16; do cp "$tmp/icon$n.png" "$PREVIEW/"; done
fi
echo "draw.sh: wrote $(cd "$out" && echo *.bmp app.ico)"
