#!/usr/bin/env python3
"""Checks a template .doc against the agreement's paragraph table and insertion bases.

Reads the compound file and the Word 97 piece table with the standard library only,
prints the main text with its positions, and exits non-zero on any mismatch.
Usage: check-template.py [template.doc]
"""
import os
import struct
import sys

# Paragraph texts of the main text, in order; position 0 is the anchor of the page shape.
PARAGRAPHS = [
    "\x08Contractor Agreement",
    "_" * 93, "", "",
    "THIS AGREEMENT made theday of,, by and between, Hereafter called the Contractor and, "
    "hereinafter called the Owner",
    "",
    "WITNESSETH that the Contractor and the Owner for the considerations named agree as follows:",
    "", "Scope of Work", "",
    "      The Contractor shall furnish all materials and perform all of the work on the property at",
    "", "", "Work Performed", "", " ", "", "", "",
    "Contract Price",
    "The Owner shall pay the contractor for material and labor to be performed under the sum of ",
    "", "Progress Payments",
    "Payments of Contract Price shall be made as follows ",
    "", "", "", "", "",
    "Signed thisday of", "",
    "Owner " + "\t" * 8 + "Contractor ",
    " ", "", "",
]
PARAGRAPH_STARTS = [0, 22, 116, 117, 118, 232, 233, 325, 326, 340, 341, 437, 438, 439, 454, 455,
                    457, 458, 459, 460, 475, 567, 568, 586, 639, 640, 641, 642, 643, 644, 662, 663,
                    689, 691, 692]
# Insertion bases with the text that must end right before each.
BASES = [(141, "made the"), (148, "day of,"), (164, "by and between"), (201, "Contractor and"),
         (436, "property at"), (456, "\r "), (566, "sum of "), (638, "follows "),
         (655, "Signed this"), (661, "day of"), (669, "Owner "), (687, "\tContractor")]
MAIN_TEXT_LENGTH = 693

ENDOFCHAIN = 0xFFFFFFFE
FREESECT = 0xFFFFFFFF


class Failure(Exception):
    pass


def u16(b, o):
    return struct.unpack_from("<H", b, o)[0]


def u32(b, o):
    return struct.unpack_from("<I", b, o)[0]


def read_compound_file(data):
    """Returns {stream name: bytes} for the streams in the root storage."""
    if data[:8] != bytes.fromhex("D0CF11E0A1B11AE1"):
        raise Failure("not a compound file")
    sector_size = 1 << u16(data, 0x1E)
    mini_size = 1 << u16(data, 0x20)
    first_dir = u32(data, 0x30)
    cutoff = u32(data, 0x38)
    first_minifat, n_minifat = u32(data, 0x3C), u32(data, 0x40)
    first_difat, n_difat = u32(data, 0x44), u32(data, 0x48)

    def sector(n):
        start = (n + 1) * sector_size
        if start + sector_size > len(data):
            raise Failure("sector %d past the end of the file" % n)
        return data[start:start + sector_size]

    fat_sectors = [u32(data, 0x4C + 4 * i) for i in range(109)]
    d = first_difat
    for _ in range(n_difat):
        s = sector(d)
        fat_sectors += [u32(s, 4 * i) for i in range(sector_size // 4 - 1)]
        d = u32(s, sector_size - 4)
    fat = []
    for f in fat_sectors:
        if f not in (FREESECT, ENDOFCHAIN):
            s = sector(f)
            fat += [u32(s, 4 * i) for i in range(sector_size // 4)]

    def chain(start, table):
        seen, out, n = set(), [], start
        while n != ENDOFCHAIN:
            if n in seen or n >= len(table):
                raise Failure("broken sector chain")
            seen.add(n)
            out.append(n)
            n = table[n]
        return out

    def read_chain(start):
        return b"".join(sector(n) for n in chain(start, fat))

    directory = read_chain(first_dir)
    entries = []
    for o in range(0, len(directory), 128):
        e = directory[o:o + 128]
        name_len = u16(e, 64)
        name = e[:max(name_len - 2, 0)].decode("utf-16-le")
        entries.append((name, e[66], u32(e, 116), u32(e, 120)))
    root_start, root_size = entries[0][2], entries[0][3]
    ministream = read_chain(root_start)[:root_size] if root_start != ENDOFCHAIN else b""
    minifat_bytes = read_chain(first_minifat) if n_minifat else b""
    minifat = [u32(minifat_bytes, 4 * i) for i in range(len(minifat_bytes) // 4)]

    streams = {}
    for name, kind, start, size in entries[1:]:
        if kind != 2:
            continue
        if size < cutoff:
            raw = b"".join(ministream[n * mini_size:(n + 1) * mini_size] for n in chain(start, minifat))
        else:
            raw = read_chain(start)
        streams[name] = raw[:size]
    return streams


def main_text(streams):
    """Returns (main text, FIB fields of interest)."""
    wd = streams.get("WordDocument")
    if wd is None:
        raise Failure("no WordDocument stream")
    if u16(wd, 0) != 0xA5EC:
        raise Failure("not a Word document (wIdent %04x)" % u16(wd, 0))
    flags = u16(wd, 0x0A)
    if flags & 0x0004:
        raise Failure("fast-saved (fComplex)")
    table = streams["1Table" if flags & 0x0200 else "0Table"]
    # FibRgLw97 starts at 64: ccpText, ccpFtn, ccpHdd, ccpMcr, ccpAtn, ccpEdn, ccpTxbx, ccpHdrTxbx.
    ccp = dict(zip(["ccpText", "ccpFtn", "ccpHdd", "ccpMcr", "ccpAtn", "ccpEdn", "ccpTxbx",
                    "ccpHdrTxbx"], [u32(wd, 64 + 4 * i) for i in range(3, 11)]))
    fclcb = 154  # FibRgFcLcb97

    def fc_lcb(index):
        return u32(wd, fclcb + 8 * index), u32(wd, fclcb + 8 * index + 4)

    fc_clx, lcb_clx = fc_lcb(33)
    clx = table[fc_clx:fc_clx + lcb_clx]
    o = 0
    while o < len(clx) and clx[o] == 0x01:  # Prc
        o += 3 + u16(clx, o + 1)
    if o >= len(clx) or clx[o] != 0x02:
        raise Failure("no Pcdt in the Clx")
    lcb = u32(clx, o + 1)
    plc = clx[o + 5:o + 5 + lcb]
    n = (lcb - 4) // 12
    cps = [u32(plc, 4 * i) for i in range(n + 1)]
    text = []
    for i in range(n):
        fc = u32(plc, 4 * (n + 1) + 8 * i + 2)
        count = cps[i + 1] - cps[i]
        if fc & 0x40000000:
            start = (fc & 0x3FFFFFFF) // 2
            text.append(wd[start:start + count].decode("cp1252"))
        else:
            text.append(wd[fc:fc + 2 * count].decode("utf-16-le"))
    fields = dict(ccp)
    fields["pieces"] = n
    fc_spa, lcb_spa = fc_lcb(40)  # PlcfSpaMom: anchors of the main text's shapes
    spa = table[fc_spa:fc_spa + lcb_spa]
    n_spa = (lcb_spa - 4) // 30 if lcb_spa else 0
    fields["shape anchors"] = [u32(spa, 4 * i) for i in range(n_spa)]
    fc_dop, _ = fc_lcb(31)
    fields["dxaTab"] = u16(table, fc_dop + 10)
    fields["section"] = section_properties(wd, table, fc_lcb(6))
    return "".join(text)[:ccp["ccpText"]], fields


def section_properties(wd, table, plcf_sed):
    """Page size and margins of the first section, in twips (Word's defaults where not set)."""
    fc, lcb = plcf_sed
    n = (lcb - 4) // 16
    props = {"xaPage": 12240, "yaPage": 15840, "dxaLeft": 1800, "dxaRight": 1800,
             "dyaTop": 1440, "dyaBottom": 1440, "sections": n}
    fc_sepx = u32(table, fc + 4 * (n + 1) + 2)
    if fc_sepx == 0xFFFFFFFF:
        return props
    grpprl = wd[fc_sepx + 2:fc_sepx + 2 + u16(wd, fc_sepx)]
    names = {0xB01F: "xaPage", 0xB020: "yaPage", 0xB021: "dxaLeft", 0xB022: "dxaRight",
             0x9023: "dyaTop", 0x9024: "dyaBottom"}
    operand_sizes = {0: 1, 1: 1, 2: 2, 3: 4, 4: 2, 5: 2, 7: 3}
    o = 0
    while o + 2 <= len(grpprl):
        sprm = u16(grpprl, o)
        spra = sprm >> 13
        if sprm in names:
            value = u16(grpprl, o + 2)
            props[names[sprm]] = value - 0x10000 if value & 0x8000 else value
        if spra == 6:
            size = 1 + grpprl[o + 2]
        else:
            size = operand_sizes[spra]
        o += 2 + size
    return props


def check(text, fields):
    problems = []
    expected = "".join(p + "\r" for p in PARAGRAPHS)
    if fields["ccpText"] != MAIN_TEXT_LENGTH:
        problems.append("ccpText is %d, not %d" % (fields["ccpText"], MAIN_TEXT_LENGTH))
    if text != expected:
        at = next((i for i, (a, b) in enumerate(zip(text, expected)) if a != b),
                  min(len(text), len(expected)))
        problems.append("main text differs from position %d: %r instead of %r"
                        % (at, text[at:at + 20], expected[at:at + 20]))
    starts = [0] + [i + 1 for i, c in enumerate(text) if c == "\r"][:-1]
    print("paragraph starts:")
    for number, (got, want) in enumerate(zip(starts, PARAGRAPH_STARTS), 1):
        mark = "ok" if got == want else "WRONG (want %d)" % want
        end = text.find("\r", got)
        print("  %2d  %3d  %-4s %r" % (number, got, mark, text[got:end]))
        if got != want:
            problems.append("paragraph %d starts at %d, not %d" % (number, got, want))
    if len(starts) != len(PARAGRAPH_STARTS):
        problems.append("%d paragraphs, not %d" % (len(starts), len(PARAGRAPH_STARTS)))
    print("insertion bases:")
    for number, (base, before) in enumerate(BASES, 1):
        ok = text[:base].endswith(before)
        print("  %2d  %3d  %-4s %r | %r" % (number, base, "ok" if ok else "WRONG",
                                              text[max(base - 16, 0):base], text[base:base + 8]))
        if not ok:
            problems.append("insertion %d: base %d does not follow %r" % (number, base, before))
    for name in ("ccpFtn", "ccpHdd", "ccpAtn", "ccpEdn", "ccpTxbx", "ccpHdrTxbx"):
        if fields[name]:
            problems.append("%s is %d: the template should hold only the main text"
                            % (name, fields[name]))
    if fields["shape anchors"] != [0]:
        problems.append("shape anchors at %s, not one at position 0" % fields["shape anchors"])
    section = fields["section"]
    if section["sections"] != 1:
        problems.append("%d sections, not one" % section["sections"])
    if (section["xaPage"], section["yaPage"]) != (12240, 15840):
        problems.append("page is %d x %d twips, not Letter" % (section["xaPage"], section["yaPage"]))
    return problems


def run(path):
    with open(path, "rb") as f:
        data = f.read()
    text, fields = main_text(read_compound_file(data))
    print("%s: %d bytes, %d piece(s), ccpText %d, dxaTab %d, shape anchors %s"
          % (path, len(data), fields["pieces"], fields["ccpText"], fields["dxaTab"],
             fields["shape anchors"]))
    print("section: %s" % fields["section"])
    problems = check(text, fields)
    for p in problems:
        print("FAIL: " + p)
    print("FAILED" if problems else "template ok")
    return 1 if problems else 0


if __name__ == "__main__":
    default = os.path.join(os.path.dirname(os.path.abspath(__file__)), "template.doc")
    try:
        sys.exit(run(sys.argv[1] if len(sys.argv) > 1 else default))
    except (Failure, KeyError, struct.error, UnicodeDecodeError) as e:
        print("FAIL: %s" % e)
        sys.exit(1)
