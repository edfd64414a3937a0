#!/usr/bin/env bash
# Renders icon.svg as icon.png (256x256, the window icon the program embeds and the largest
# installed size) and as the smaller sizes installed for the desktop menu, icons/NN.png, and
# packs them all into icon.ico, the Windows program's icon.
# Needs rsvg-convert (librsvg2-bin) and python3; the build uses the committed files.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
rsvg-convert -w 256 -h 256 -o "$here/icon.png" "$here/icon.svg"
mkdir -p "$here/icons"
for size in 16 32 48 64 128; do
  rsvg-convert -w "$size" -h "$size" -o "$here/icons/$size.png" "$here/icon.svg"
done
# An .ico of PNG images: a directory of sizes, then the files as they are.
python3 - "$here" <<'PY'
import struct, sys
here = sys.argv[1]
images = [(size, open(f"{here}/icons/{size}.png", "rb").read()) for size in (16, 32, 48, 64, 128)]
images.append((256, open(f"{here}/icon.png", "rb").read()))
offset = 6 + 16 * len(images)
out = struct.pack("<HHH", 0, 1, len(images))
for size, data in images:
    out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
    offset += len(data)
out += b"".join(data for _, data in images)
open(f"{here}/icon.ico", "wb").write(out)
PY
echo "wrote $here/icon.png, $here/icons/*.png and $here/icon.ico"
