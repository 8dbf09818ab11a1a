#!/usr/bin/env bash
# Draws the setup utility's pictures with ImageMagick into resources/setup/.
# The PNGs are committed; run this again only when the artwork changes.
#   keypad  LUP1 UP1 RUP1 LEFT1 STOP1 RIGHT1 LDOWN1 DOWN1 RDOWN1   20 x 20
#   buttons b_load1..3, b_save1..3 (normal, pressed, hover)        195 x 24
#   SPLASH  product picture beside the keypad                      710 x 470
#   VIDEO   window icon 64 x 64, autor pointer cursor 32 x 32
# The click sounds come from setup_sounds.py.
set -euo pipefail
out="$(cd "$(dirname "$0")/../.." && pwd)/resources/setup"
mkdir -p "$out"
font="DejaVu-Sans-Bold"

# A keypad key: dark green rounded plate with a white glyph.
key() {
    local name="$1"
    shift
    convert -size 20x20 xc:none \
        -fill 'rgb(41,82,64)' -stroke 'rgb(20,40,30)' -draw 'roundrectangle 0,0 19,19 4,4' \
        -fill 'rgb(66,130,102)' -stroke none -draw 'roundrectangle 2,2 17,9 3,3' \
        -fill white -stroke white -strokewidth 1 "$@" \
        -background 'rgb(129,194,176)' -flatten "PNG24:$out/$name.png"
}
key LEFT1 -draw 'polygon 5,10 13,4 13,16'
key RIGHT1 -draw 'polygon 15,10 7,4 7,16'
key UP1 -draw 'polygon 10,4 4,13 16,13'
key DOWN1 -draw 'polygon 10,16 4,7 16,7'
key STOP1 -fill none -strokewidth 2 -draw 'circle 10,10 10,5' -draw 'line 10,3 10,8'
# External circle: a large ring with + or -; internal circle: a small dot ring.
key LUP1 -fill none -draw 'circle 10,10 10,3' -fill white -draw 'rectangle 6,9 14,11' \
    -draw 'rectangle 9,6 11,14'
key RUP1 -fill none -draw 'circle 10,10 10,3' -fill white -draw 'rectangle 6,9 14,11'
key LDOWN1 -fill none -stroke 'rgb(150,190,170)' -draw 'circle 10,10 10,3' \
    -stroke white -strokewidth 2 -draw 'circle 10,10 10,7' -strokewidth 1 -draw 'line 8,10 12,10' \
    -draw 'line 10,8 10,12'
key RDOWN1 -fill none -stroke 'rgb(150,190,170)' -draw 'circle 10,10 10,3' \
    -stroke white -strokewidth 2 -draw 'circle 10,10 10,7' -strokewidth 1 -draw 'line 8,10 12,10'

# A picture button: rounded plate with a caption. $2 top colour, $3 bottom,
# $4 caption colour, $5 caption offset (pressed pictures sink by one pixel).
button() {
    local name="$1" top="$2" bottom="$3" ink="$4" dy="$5" text="$6"
    convert -size 195x24 "gradient:$top-$bottom" \
        \( -size 195x24 xc:black -fill white -draw 'roundrectangle 0,0 194,23 7,7' \) \
        -alpha off -compose CopyOpacity -composite -compose Over \
        -fill none -stroke 'rgb(30,60,45)' -draw 'roundrectangle 0,0 194,23 7,7' \
        -stroke none -fill "$ink" -font "$font" -pointsize 13 -gravity center \
        -annotate "+0+$dy" "$text" \
        -background 'rgb(129,194,176)' -flatten "PNG24:$out/$name.png"
}
for kind in load save; do
    if [ "$kind" = load ]; then text="Load Doughnut Movie"; else text="Save Parameters"; fi
    button "b_${kind}1" 'rgb(90,160,128)' 'rgb(40,90,70)' white 0 "$text"
    button "b_${kind}2" 'rgb(30,70,55)' 'rgb(60,120,95)' 'rgb(220,220,220)' 1 "$text"
    button "b_${kind}3" 'rgb(140,215,180)' 'rgb(60,130,100)' 'rgb(255,255,160)' 0 "$text"
done

# SPLASH: a doughnut frame with its two circles over a dark teal field.
convert -size 710x470 gradient:'rgb(0,68,85)-rgb(10,30,40)' \
    -fill 'rgb(60,110,95)' -stroke 'rgb(200,230,220)' -strokewidth 3 \
    -draw 'circle 235,235 235,45' \
    -fill 'rgb(96,150,120)' -stroke none -draw 'circle 235,235 235,70' \
    -fill 'rgb(130,180,150)' -draw 'circle 235,235 235,110' \
    -fill 'rgb(0,68,85)' -stroke 'rgb(255,255,0)' -strokewidth 4 -draw 'circle 235,235 235,175' \
    -fill none -stroke 'rgb(255,0,0)' -strokewidth 2 -draw 'stroke-dasharray 4 4 circle 235,235 235,38' \
    -stroke 'rgb(255,140,0)' -draw 'stroke-dasharray 4 4 circle 235,235 235,28' \
    -stroke none -fill white -font "$font" -pointsize 54 -annotate +455+170 'Halvora' \
    -pointsize 96 -fill 'rgb(255,220,90)' -annotate +455+280 '360' \
    -pointsize 26 -fill white -annotate +455+335 'Doughnut' \
    -annotate +455+370 'Setup Utility' \
    "PNG24:$out/SPLASH.png"

# VIDEO: the window icon, a ring with a play mark.
convert -size 64x64 xc:none \
    -fill 'rgb(0,68,85)' -stroke 'rgb(129,194,176)' -strokewidth 4 -draw 'circle 32,32 32,3' \
    -fill 'rgb(129,194,176)' -stroke none -draw 'circle 32,32 32,20' \
    -fill white -draw 'polygon 27,24 27,40 40,32' \
    "PNG32:$out/VIDEO.png"

# autor: a small hand-like pointer with its hot spot at (2, 1).
convert -size 32x32 xc:none \
    -fill white -stroke black -strokewidth 1 \
    -draw 'polygon 2,1 2,22 7,17 11,26 15,24 11,16 18,16' \
    -fill 'rgb(0,140,100)' -stroke none -draw 'circle 24,24 24,19' \
    "PNG32:$out/autor.png"

echo "artwork written to $out"
