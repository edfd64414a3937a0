#!/usr/bin/env python3
"""Writes HAND-M.CUR, the hand pointer shown over the buttons: a 32x32 monochrome
Windows cursor with its hotspot at the tip of the pointing finger.

Standard library only; the build copies the committed HAND-M.CUR.
"""
import os
import struct

# X black outline, . white fill, blank transparent.
HAND = [
    "     XX",
    "    X..X",
    "    X..X",
    "    X..X",
    "    X..X",
    "    X..XXX",
    "    X..X..XXX",
    "    X..X..X..XX",
    "    X..X..X..X.X",
    "XX  X..X..X..X..X",
    "X..XX..X..X..X..X",
    "X...X...........X",
    " X..X...........X",
    "  X.............X",
    "  X.............X",
    "   X............X",
    "   X...........X",
    "    X..........X",
    "    X.........X",
    "     X........X",
    "     X........X",
    "     XXXXXXXXXX",
]
SIZE = 32
HOTSPOT = (5, 0)


def bit_rows(pixel_on):
    """1-bit rows, bottom-up, each 32 pixels = 4 bytes (already DWORD-aligned)."""
    out = bytearray()
    for y in reversed(range(SIZE)):
        row = HAND[y] if y < len(HAND) else ""
        bits = 0
        for x in range(SIZE):
            c = row[x] if x < len(row) else " "
            if pixel_on(c):
                bits |= 1 << (SIZE - 1 - x)
        out += struct.pack(">I", bits)
    return bytes(out)


def cursor_bytes():
    assert len(HAND) <= SIZE and all(len(r) <= SIZE for r in HAND)
    assert HAND[HOTSPOT[1]][HOTSPOT[0]] == "X"
    # Colour index 1 (white) where the fill is; the AND mask keeps the screen where
    # the cursor is transparent.
    xor = bit_rows(lambda c: c == ".")
    and_mask = bit_rows(lambda c: c == " ")
    palette = struct.pack("<4B4B", 0, 0, 0, 0, 255, 255, 255, 0)
    # BITMAPINFOHEADER: the height counts the XOR image and the AND mask.
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 1, 0,
                         len(xor) + len(and_mask), 0, 0, 2, 0)
    image = header + palette + xor + and_mask
    # ICONDIR (type 2 = cursor), then one entry whose planes/bit-count fields hold the hotspot.
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 2, 0, HOTSPOT[0], HOTSPOT[1],
                        len(image), len(directory) + 16)
    return directory + entry + image


if __name__ == "__main__":
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "HAND-M.CUR")
    data = cursor_bytes()
    with open(path, "wb") as f:
        f.write(data)
    print("wrote %s (%d bytes, hotspot %d,%d)" % (path, len(data), HOTSPOT[0], HOTSPOT[1]))
