#!/usr/bin/env bash
# Draws the unlock window's picture: 256 x 256 with an alpha channel, and a
# close mark over the area that the window treats as its cancel zone
# (x 219-252, y 13-46 of the picture). Needs ImageMagick.
set -euo pipefail
out="${1:-$(dirname "$0")/../assets/splash.png}"
convert -size 256x256 xc:none \
    -fill '#1f4e5a' -stroke '#0f2d35' -strokewidth 3 -draw 'roundrectangle 6,54 250,250 26,26' \
    -fill '#f3efe2' -stroke none -draw 'roundrectangle 24,70 232,212 14,14' \
    -fill '#c9a227' -stroke '#8a6d12' -strokewidth 2 -draw 'roundrectangle 104,98 152,136 6,6' \
    -fill none -stroke '#8a6d12' -strokewidth 6 -draw 'arc 110,76 146,116 180,360' \
    -fill '#1f4e5a' -stroke none -draw 'circle 128,113 128,119' -draw 'rectangle 126,113 130,126' \
    -font DejaVu-Sans-Bold -pointsize 26 -fill '#1f4e5a' -gravity north -annotate +0+150 'Vellomar' \
    -gravity northwest \
    -fill '#ffffff' -draw 'roundrectangle 57,222 184,247 6,6' \
    -fill '#b3261e' -stroke '#7a1a14' -strokewidth 2 -draw 'rectangle 218,12 253,47' \
    -stroke '#ffffff' -strokewidth 4 -draw 'line 227,21 244,38' -draw 'line 244,21 227,38' \
    -define png:color-type=6 "PNG32:$out"
echo "wrote $out"
