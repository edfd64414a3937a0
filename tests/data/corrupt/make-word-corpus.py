#!/usr/bin/env python3
"""Writes the Word-level corrupt files (word-*.doc) from resources/template.doc.

Each file is the template with a few bytes of one stream patched in place, so the
compound file around it stays sound and only the Word structure named in the file
name is damaged. Run it from anywhere; it rewrites every file it owns.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
TEMPLATE = os.path.join(HERE, "..", "..", "..", "resources", "template.doc")

ENDOFCHAIN = 0xFFFFFFFE


class Cfb:
    """Maps stream offsets to file offsets in a compound file (regular and mini streams)."""

    def __init__(self, data):
        self.data = bytearray(data)
        self.ss = 1 << struct.unpack_from("<H", data, 0x1E)[0]
        self.cutoff = struct.unpack_from("<I", data, 0x38)[0]
        fat_sectors = [s for s in struct.unpack_from("<109I", data, 0x4C) if s < 0xFFFFFFFA]
        self.fat = []
        for s in fat_sectors:
            self.fat += struct.unpack_from("<%dI" % (self.ss // 4), data, self.offset(s))
        self.dir = self.chain(struct.unpack_from("<I", data, 0x30)[0])
        minifat = b"".join(self.sector(s) for s in self.chain(struct.unpack_from("<I", data, 0x3C)[0]))
        self.minifat = struct.unpack("<%dI" % (len(minifat) // 4), minifat)
        self.entries = {}
        for d in self.dir:
            for k in range(self.ss // 128):
                at = self.offset(d) + 128 * k
                name_len = struct.unpack_from("<H", data, at + 0x40)[0]
                name = data[at:at + max(0, name_len - 2)].decode("utf-16-le")
                start, size = struct.unpack_from("<IQ", data, at + 0x74)
                self.entries[name] = (at, start, size)
        self.ministream = self.chain(self.entries["Root Entry"][1])

    def offset(self, sector):
        return (sector + 1) * self.ss

    def sector(self, s):
        return self.data[self.offset(s):self.offset(s) + self.ss]

    def chain(self, start):
        out = []
        while start != ENDOFCHAIN and len(out) < 100000:
            out.append(start)
            start = self.fat[start]
        return out

    def file_offset(self, name, pos):
        _, start, size = self.entries[name]
        assert pos < size
        if size >= self.cutoff:
            return self.offset(self.chain(start)[pos // self.ss]) + pos % self.ss
        mini = start
        for _ in range(pos // 64):
            mini = self.minifat[mini]
        big = mini * 64 + pos % 64
        return self.offset(self.ministream[big // self.ss]) + big % self.ss

    def read(self, name, pos, fmt):
        return struct.unpack_from(fmt, self.data, self.file_offset(name, pos))[0]

    def write(self, name, pos, fmt, value):
        for i, b in enumerate(struct.pack(fmt, value)):
            self.data[self.file_offset(name, pos + i)] = b


def fclcb_offset(cfb, index):
    o = 0x20
    o += 2 + 2 * cfb.read("WordDocument", o, "<H")
    o += 2 + 4 * cfb.read("WordDocument", o, "<H")
    return o + 2 + 8 * index


CLX, BTE_CHPX = 33, 12


def table_name(cfb):
    return "1Table" if cfb.read("WordDocument", 0x0A, "<H") & 0x0200 else "0Table"


def odd_plc_length(cfb):
    at = fclcb_offset(cfb, BTE_CHPX) + 4
    cfb.write("WordDocument", at, "<I", cfb.read("WordDocument", at, "<I") + 1)


def fkp_run_count_past_page(cfb):
    fc = cfb.read("WordDocument", fclcb_offset(cfb, BTE_CHPX), "<I")
    pn = cfb.read(table_name(cfb), fc + 8, "<I") & 0x3FFFFF
    cfb.write("WordDocument", pn * 512 + 511, "<B", 0xFF)


def fkp_page_listed_twice(cfb):
    # The template's one-page PlcfBteChpx grows into the PlcfBtePapx after it, listing its page twice.
    at = fclcb_offset(cfb, BTE_CHPX)
    fc = cfb.read("WordDocument", at, "<I")
    table = table_name(cfb)
    fc_lim = cfb.read(table, fc + 4, "<I")
    pn = cfb.read(table, fc + 8, "<I")
    for i, value in enumerate((fc_lim, fc_lim, pn, pn)):
        cfb.write(table, fc + 4 + 4 * i, "<I", value)
    cfb.write("WordDocument", at + 4, "<I", 20)


def clx_at(cfb):
    return cfb.read("WordDocument", fclcb_offset(cfb, CLX), "<I")


def piece_past_stream(cfb):
    # Clx of one piece: 0x02, lcb, CP 0, CP n, then the Pcd whose fc follows 2 flag bytes.
    cfb.write(table_name(cfb), clx_at(cfb) + 5 + 8 + 2, "<I", 0x00FFFF00)


def piece_cps_out_of_order(cfb):
    cfb.write(table_name(cfb), clx_at(cfb) + 5, "<I", 0x00100000)


def huge_piece_table(cfb):
    cfb.write(table_name(cfb), clx_at(cfb) + 5 + 4, "<I", 0x7FFFFFFF)


def encrypted(cfb):
    cfb.write("WordDocument", 0x0A, "<H", cfb.read("WordDocument", 0x0A, "<H") | 0x0100)


def word95_nfib(cfb):
    cfb.write("WordDocument", 0x02, "<H", 0x0065)


def missing_table_stream(cfb):
    cfb.write("WordDocument", 0x0A, "<H", cfb.read("WordDocument", 0x0A, "<H") ^ 0x0200)


def no_piece_table(cfb):
    cfb.write("WordDocument", fclcb_offset(cfb, CLX) + 4, "<I", 0)


def truncated_fib(cfb):
    cfb.write("WordDocument", 0x20, "<H", 0xFFFF)


def missing_worddocument(cfb):
    # Renamed to a name of the same length that sorts after it, keeping the tree valid.
    at = cfb.entries["WordDocument"][0]
    cfb.data[at + 2 * 11] = ord("u")


CASES = {
    "word-odd-plc-length.doc": odd_plc_length,
    "word-fkp-run-count-past-page.doc": fkp_run_count_past_page,
    "word-fkp-page-listed-twice.doc": fkp_page_listed_twice,
    "word-piece-past-stream.doc": piece_past_stream,
    "word-piece-cps-out-of-order.doc": piece_cps_out_of_order,
    "word-huge-piece-table.doc": huge_piece_table,
    "word-encrypted.doc": encrypted,
    "word-word95-nfib.doc": word95_nfib,
    "word-missing-table-stream.doc": missing_table_stream,
    "word-no-piece-table.doc": no_piece_table,
    "word-truncated-fib.doc": truncated_fib,
    "word-missing-worddocument.doc": missing_worddocument,
}


def main():
    with open(TEMPLATE, "rb") as f:
        template = f.read()
    for name, damage in CASES.items():
        cfb = Cfb(template)
        damage(cfb)
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(cfb.data)


if __name__ == "__main__":
    main()
