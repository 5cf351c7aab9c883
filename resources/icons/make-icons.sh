#!/bin/sh
# Draws the program's icons with ImageMagick. The PNGs are kept in the
# repository; run this again only to change them.
set -e
cd "$(dirname "$0")"

# Each icon is drawn on a 64-pixel canvas and scaled down.
draw() { # name size draw-args...
    name=$1 size=$2
    shift 2
    convert -size 64x64 xc:none "$@" -resize "${size}x${size}" -strip "PNG32:$name"
}

emblem() { # size
    draw "quillora-$1.png" "$1" \
        -fill '#1f5fa8' -stroke '#143e6e' -strokewidth 2 -draw 'roundrectangle 3,3 60,60 10,10' \
        -fill none -stroke '#e82a2a' -strokewidth 4 -draw 'rectangle 12,14 52,50' \
        -fill white -stroke none -draw 'polygon 26,22 26,42 43,32'
}
for s in 16 32 48 64; do emblem "$s"; done
# The larger sizes come from a larger canvas, so they stay sharp.
for s in 128 256; do
    convert -size 256x256 xc:none \
        -fill '#1f5fa8' -stroke '#143e6e' -strokewidth 8 -draw 'roundrectangle 12,12 243,243 40,40' \
        -fill none -stroke '#e82a2a' -strokewidth 14 -draw 'rectangle 48,56 208,200' \
        -fill white -stroke none -draw 'polygon 104,88 104,168 172,128' \
        -resize "${s}x${s}" -strip "PNG32:quillora-$s.png"
done

# Action images, 16 pixels: New, Open, Save, Preview.
draw new.png 16 \
    -fill white -stroke '#505050' -strokewidth 4 -draw 'polygon 12,4 40,4 54,18 54,60 12,60' \
    -fill '#d8d8d8' -draw 'polygon 40,4 40,18 54,18' \
    -fill none -stroke '#e82a2a' -strokewidth 4 -draw 'rectangle 20,28 46,50'
draw open.png 16 \
    -fill '#e0b040' -stroke '#8a6210' -strokewidth 4 -draw 'polygon 4,12 24,12 30,18 56,18 56,56 4,56' \
    -fill '#f4d27a' -draw 'polygon 4,56 14,28 62,28 54,56'
draw save.png 16 \
    -fill '#3b6fb6' -stroke '#1d3d6b' -strokewidth 4 -draw 'polygon 6,6 50,6 58,14 58,58 6,58' \
    -fill white -stroke none -draw 'rectangle 16,8 46,26' \
    -fill '#d0d0d0' -draw 'rectangle 16,38 48,58' \
    -fill '#1d3d6b' -draw 'rectangle 36,11 42,23'
draw preview.png 16 \
    -fill '#2e9e44' -stroke '#1b6a2b' -strokewidth 4 -draw 'circle 32,32 32,4' \
    -fill white -stroke none -draw 'polygon 24,18 24,46 48,32'
