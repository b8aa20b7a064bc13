#!/usr/bin/env bash
# Renders the application icon assets/vellomar.svg to the PNG sizes that the
# program and the desktop use (assets/icons/vellomar-<size>.png). The PNGs are
# committed, so building never needs this; only re-rendering after a change to
# the SVG does. Needs rsvg-convert (Debian: librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v rsvg-convert >/dev/null; then
    echo "rsvg-convert not found: install librsvg2-bin to render the icons" >&2
    exit 2
fi
mkdir -p assets/icons
for size in 16 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" assets/vellomar.svg -o "assets/icons/vellomar-$size.png"
done
echo "wrote assets/icons/vellomar-{16,24,32,48,64,128,256}.png"
