#!/usr/bin/env python3
"""Writes the part of a glyph table (surface/glyph_table.h's format) that
holds the given code point ranges: the page carries these in its code and
fetches the whole table only when a name needs more.

    glyph_subset.py FULL.glyphs OUT.glyphs FIRST-LAST [FIRST-LAST ...]

Ranges are hexadecimal code points, both ends included (20-7E).
"""
import struct
import sys

MAGIC = b"TAVROGL1"
BLOCK = 16


def read_table(data):
    if data[:8] != MAGIC:
        raise ValueError("not a glyph table")
    range_count, glyph_count = struct.unpack_from("<II", data, 8)
    ranges = [struct.unpack_from("<II", data, 16 + 8 * i) for i in range(range_count)]
    blocks = (glyph_count + BLOCK - 1) // BLOCK
    at = 16 + 8 * range_count + 4 * blocks
    records = []
    for _ in range(glyph_count):
        layout, rows = data[at + 2], data[at + 3]
        size = 4 + rows * ((layout >> 4) + 1)
        records.append(data[at:at + size])
        at += size
    glyphs = []
    for r, (first, start) in enumerate(ranges):
        end = ranges[r + 1][1] if r + 1 < range_count else glyph_count
        for i in range(start, end):
            glyphs.append((first + i - start, records[i]))
    return glyphs


def write_table(glyphs):
    ranges = []
    for index, (code, _) in enumerate(glyphs):
        if not ranges or code != ranges[-1][0] + (index - ranges[-1][1]):
            ranges.append((code, index))
    records = b""
    offsets = []
    for index, (_, record) in enumerate(glyphs):
        if index % BLOCK == 0:
            offsets.append(len(records))
        records += record
    out = MAGIC + struct.pack("<II", len(ranges), len(glyphs))
    out += b"".join(struct.pack("<II", first, start) for first, start in ranges)
    out += b"".join(struct.pack("<I", offset) for offset in offsets)
    return out + records


def main(argv):
    if len(argv) < 4:
        sys.exit(__doc__)
    wanted = []
    for text in argv[3:]:
        first, _, last = text.partition("-")
        wanted.append((int(first, 16), int(last or first, 16)))
    with open(argv[1], "rb") as f:
        glyphs = read_table(f.read())
    kept = [g for g in glyphs if any(lo <= g[0] <= hi for lo, hi in wanted)]
    with open(argv[2], "wb") as f:
        f.write(write_table(kept))


if __name__ == "__main__":
    main(sys.argv)
