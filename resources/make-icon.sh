#!/usr/bin/env bash
# Renders icon.svg as icon.png (256x256, the window icon the program embeds and the largest
# installed size) and as the smaller sizes installed for the desktop menu, icons/NN.png.
# Needs rsvg-convert (librsvg2-bin); the build uses the committed PNG files.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
rsvg-convert -w 256 -h 256 -o "$here/icon.png" "$here/icon.svg"
mkdir -p "$here/icons"
for size in 16 32 48 64 128; do
  rsvg-convert -w "$size" -h "$size" -o "$here/icons/$size.png" "$here/icon.svg"
done
echo "wrote $here/icon.png and $here/icons/*.png"
