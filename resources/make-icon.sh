#!/usr/bin/env bash
# Draws icon.png (256x256): a written page with a folded corner and a quill across it.
# Needs ImageMagick; the build uses the committed icon.png.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
convert -size 256x256 xc:none \
  -fill '#00000030' -stroke none -draw "polygon 50,30 174,30 222,78 222,242 50,242" \
  -fill white -stroke '#4a5568' -strokewidth 6 -draw "polygon 40,20 166,20 214,68 214,232 40,232" \
  -fill '#dfe4ea' -draw "polygon 166,20 166,68 214,68" \
  -stroke '#1f3a60' -strokewidth 8 -draw "line 66,52 138,52" \
  -stroke '#8a94a3' -strokewidth 6 \
  -draw "line 66,96 188,96" -draw "line 66,124 188,124" -draw "line 66,152 188,152" \
  -draw "line 66,180 132,180" \
  -stroke '#1f3a60' -strokewidth 4 -fill none -draw "path 'M 70,212 C 90,196 100,222 120,206 S 140,200 150,210'" \
  -stroke '#7a1f1f' -strokewidth 2 -fill '#b23a3a' \
  -draw "path 'M 246,14 C 214,20 170,60 150,112 L 140,140 L 160,120 C 200,96 236,58 246,14 Z'" \
  -stroke '#5b1414' -strokewidth 3 -draw "line 244,18 146,130" \
  -stroke '#2d2d2d' -strokewidth 4 -draw "line 146,130 126,170" \
  -strip "PNG32:$here/icon.png"
echo "wrote $here/icon.png"
