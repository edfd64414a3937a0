#!/usr/bin/env python3
"""Writes the compound-file test corpus: small valid files in tests/data/ (version 3,
version 4, storages nested as deep as the reader allows) and one damaged variant per
failure mode here in tests/data/corrupt/.

The valid files hold, below the root entry:
    Big           4200 bytes  (regular sectors)
    Small          300 bytes  (mini stream)
    Sub/Inner      100 bytes  (a storage with one stream)
    Grüße😀         10 bytes  (a name outside Latin-1 and the BMP)
Run it from anywhere; it rewrites every file it owns.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.dirname(HERE)

ENDOFCHAIN = 0xFFFFFFFE
FREESECT = 0xFFFFFFFF
FATSECT = 0xFFFFFFFD
NOSTREAM = 0xFFFFFFFF

BIG = bytes((i * 7 + 1) & 0xFF for i in range(4200))
SMALL = (b"small stream " * 30)[:300]
INNER = b"i" * 100
EMOJI = bytes(range(10))

# index: (name, type, left, right, child, data)
ENTRIES = [
    ("Root Entry", 5, NOSTREAM, NOSTREAM, 3, None),
    ("Big", 2, NOSTREAM, NOSTREAM, NOSTREAM, BIG),
    ("Small", 2, NOSTREAM, 5, NOSTREAM, SMALL),
    ("Sub", 1, 1, 2, 4, None),
    ("Inner", 2, NOSTREAM, NOSTREAM, NOSTREAM, INNER),
    ("Grüße\U0001F600", 2, NOSTREAM, NOSTREAM, NOSTREAM, EMOJI),
]


def ceil_div(a, b):
    return (a + b - 1) // b


class Layout:
    """A compound file laid out in order: FAT, directory, mini FAT, mini stream, big streams."""

    def __init__(self, shift, entries=ENTRIES):
        self.entries = entries
        self.shift = shift
        self.ss = 1 << shift
        ss = self.ss
        mini = bytearray()
        minifat = []
        self.mini_start = {}
        for i, (_, typ, _, _, _, data) in enumerate(entries):
            if typ == 2 and len(data) < 4096:
                n = ceil_div(len(data), 64)
                first = len(minifat)
                minifat += [first + k + 1 if k + 1 < n else ENDOFCHAIN for k in range(n)]
                self.mini_start[i] = first
                mini += data + bytes(n * 64 - len(data))
        per_dir = ss // 128
        self.dir_count = ceil_div(len(entries), per_dir)
        self.minifat_count = ceil_div(len(minifat) * 4, ss)
        self.ministream_count = ceil_div(len(mini), ss)
        sector = 1  # sector 0 is the one FAT sector
        self.dir_first = sector
        sector += self.dir_count
        self.minifat_first = sector
        sector += self.minifat_count
        self.ministream_first = sector
        sector += self.ministream_count
        self.big_start = {}
        for i, (_, typ, _, _, _, data) in enumerate(entries):
            if typ == 2 and len(data) >= 4096:
                self.big_start[i] = sector
                sector += ceil_div(len(data), ss)
        total = sector
        assert total <= ss // 4

        fat = [FREESECT] * (ss // 4)
        fat[0] = FATSECT

        def link(first, n):
            for k in range(n):
                fat[first + k] = first + k + 1 if k + 1 < n else ENDOFCHAIN

        link(self.dir_first, self.dir_count)
        link(self.minifat_first, self.minifat_count)
        link(self.ministream_first, self.ministream_count)
        for i, first in self.big_start.items():
            link(first, ceil_div(len(entries[i][5]), ss))

        out = bytearray(ss * (total + 1))
        header = bytearray(512)
        struct.pack_into("<8s16sHHHHH6sIIIIIIIII", header, 0,
                         bytes.fromhex("D0CF11E0A1B11AE1"), bytes(16), 0x3E, 3 if shift == 9 else 4,
                         0xFFFE, shift, 6, bytes(6), 0 if shift == 9 else self.dir_count, 1,
                         self.dir_first, 0, 4096, self.minifat_first, self.minifat_count, ENDOFCHAIN, 0)
        difat = [0] + [FREESECT] * 108
        struct.pack_into("<109I", header, 0x4C, *difat)
        out[0:512] = header
        struct.pack_into("<%dI" % len(fat), out, self.offset(0), *fat)

        for i, (name, typ, left, right, child, data) in enumerate(entries):
            raw = bytearray(128)
            units = name.encode("utf-16-le") + b"\0\0"
            raw[0:len(units)] = units
            if typ == 5:
                start, size = self.ministream_first, len(mini)
            elif typ == 2:
                start = self.big_start.get(i, self.mini_start.get(i))
                size = len(data)
            else:
                start, size = 0, 0
            struct.pack_into("<HBBIII16sIQQIQ", raw, 64, len(units), typ, 1, left, right, child,
                             bytes(range(16)) if typ == 1 else bytes(16), 0, 0, 0, start, size)
            out[self.entry(i):self.entry(i) + 128] = raw
        for i in range(len(entries), self.dir_count * per_dir):
            struct.pack_into("<III", out, self.entry(i) + 68, NOSTREAM, NOSTREAM, NOSTREAM)

        minifat_bytes = struct.pack("<%dI" % len(minifat), *minifat)
        minifat_bytes += b"\xff" * (self.minifat_count * ss - len(minifat_bytes))
        out[self.offset(self.minifat_first):self.offset(self.minifat_first) + len(minifat_bytes)] = minifat_bytes
        out[self.offset(self.ministream_first):self.offset(self.ministream_first) + len(mini)] = mini
        for i, first in self.big_start.items():
            data = entries[i][5]
            out[self.offset(first):self.offset(first) + len(data)] = data
        self.bytes = bytes(out)

    def offset(self, sector):
        return (sector + 1) * self.ss

    def entry(self, index):
        # The directory sectors are contiguous.
        return self.offset(self.dir_first) + 128 * index

    def fat_entry(self, sector):
        return self.offset(0) + 4 * sector

    def minifat_entry(self, mini_sector):
        return self.offset(self.minifat_first) + 4 * mini_sector


def nested(depth):
    """Storages S0/S1/... nested `depth` deep, the innermost holding one stream."""
    entries = [("Root Entry", 5, NOSTREAM, NOSTREAM, 1, None)]
    for level in range(depth):
        entries.append(("S%d" % level, 1, NOSTREAM, NOSTREAM, level + 2, None))
    entries.append(("Deep", 2, NOSTREAM, NOSTREAM, NOSTREAM, b"deep"))
    return Layout(9, entries)


def patched(layout, *edits):
    """Applies (offset, format, value) edits to a copy of the layout's bytes."""
    b = bytearray(layout.bytes)
    for offset, fmt, value in edits:
        struct.pack_into(fmt, b, offset, value)
    return bytes(b)


def main():
    v3 = Layout(9)
    v4 = Layout(12)
    with open(os.path.join(DATA, "cfb-version3.bin"), "wb") as f:
        f.write(v3.bytes)
    with open(os.path.join(DATA, "cfb-version4.bin"), "wb") as f:
        f.write(v4.bytes)
    with open(os.path.join(DATA, "cfb-nested-deepest.bin"), "wb") as f:
        f.write(nested(15).bytes)

    big = v3.big_start[1]
    small_mini = v3.mini_start[2]
    corpus = {
        "empty": b"",
        "bad-signature": patched(v3, (0, "<B", 0xD1)),
        "truncated-header": v3.bytes[:300],
        "truncated-version4-header": v4.bytes[:2048],
        "bad-byte-order": patched(v3, (0x1C, "<H", 0xFEFF)),
        "unsupported-version": patched(v3, (0x1A, "<H", 2)),
        "bad-sector-shift": patched(v3, (0x1E, "<H", 12)),
        "bad-mini-sector-shift": patched(v3, (0x20, "<H", 7)),
        "bad-mini-stream-cutoff": patched(v3, (0x38, "<I", 8192)),
        "bad-fat-count": patched(v3, (0x2C, "<I", 0x10000)),
        "fat-sector-past-end": patched(v3, (0x4C, "<I", 5000)),
        "fat-cycle": patched(v3, (v3.fat_entry(big + 4), "<I", big + 1)),
        "directory-chain-cycle": patched(v3, (v3.fat_entry(v3.dir_first + 1), "<I", v3.dir_first)),
        "chain-too-short": patched(v3, (v3.fat_entry(big + 4), "<I", ENDOFCHAIN)),
        "shared-sector": patched(v3, (v3.entry(1) + 116, "<I", v3.dir_first)),
        "bad-sector-number": patched(v3, (v3.entry(1) + 116, "<I", 0xFFFFFFFB)),
        "stream-past-end": v3.bytes[:-1024],
        "huge-stream-size": patched(v3, (v3.entry(1) + 120, "<I", 0xFFFFFFF0)),
        "minifat-cycle": patched(v3, (v3.minifat_entry(small_mini + 2), "<I", small_mini)),
        "mini-sector-past-mini-stream": patched(v3, (v3.entry(0) + 120, "<I", 128)),
        "directory-cycle": patched(v3, (v3.entry(4) + 68, "<I", 3)),
        "bad-directory-link": patched(v3, (v3.entry(2) + 72, "<I", 1000)),
        "unallocated-entry-linked": patched(v3, (v3.entry(4) + 72, "<I", len(ENTRIES))),
        "no-root-entry": patched(v3, (v3.entry(0) + 66, "<B", 1)),
        "bad-entry-name": patched(v3, (v3.entry(2) + 64, "<H", 66)),
        "nested-too-deep": nested(16).bytes,
        "duplicate-name": patched(v3, (v3.entry(2), "<10s", "Big".encode("utf-16-le") + b"\0\0"),
                                  (v3.entry(2) + 64, "<H", 8)),
    }
    for name in os.listdir(HERE):
        if name.startswith("cfb-") and name.endswith(".bin"):
            os.remove(os.path.join(HERE, name))
    for name, data in corpus.items():
        with open(os.path.join(HERE, "cfb-%s.bin" % name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
