#!/bin/sh
# Draws the PNG sizes of the icon from velkindex.svg: velkindex-48.png,
# velkindex-128.png, velkindex-256.png (8-bit RGBA, transparent background).
# Run it after changing the SVG, and commit the PNGs with it. Needs ImageMagick.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
convert=${CONVERT:-/usr/bin/convert}
for size in 48 128 256; do
  # Rendered at four times the size, then scaled down, for smooth edges.
  "$convert" -background none -density $((96 * size / 64)) "$here/velkindex.svg" \
    -resize "${size}x${size}" -depth 8 -strip "PNG32:$here/velkindex-$size.png"
  echo "$here/velkindex-$size.png"
done
