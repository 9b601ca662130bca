#!/usr/bin/env python3
"""Makes the Windows program's icon and cursor from the shared pictures.

tavro.ico:      the 32 x 32, 16-colour picture of ../icons/tavro.png as a
                4-bit icon, fully opaque.
crosshair.cur:  the 32 x 32 monochrome crosshair of ../icons/tavro-cursor.xbm
                (set bits white, the rest transparent), hot spot 15, 15.

Run it from this folder to make the files anew; they are kept in the tree.
"""
import re
import struct
import zlib

SIZE = 32


def read_indexed_png(path):
    """Palette and rows of pixel indices of a 4-bit indexed, non-interlaced PNG."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat, palette = 8, b"", []
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos:pos + 4])
        kind = data[pos + 4:pos + 8]
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert (width, height, depth, colour, interlace) == (SIZE, SIZE, 4, 3, 0)
        elif kind == b"PLTE":
            palette = [tuple(body[i:i + 3]) for i in range(0, len(body), 3)]
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = SIZE // 2
    rows, previous = [], bytearray(stride)
    for y in range(SIZE):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - 1] if i > 0 else 0
            up = previous[i]
            corner = previous[i - 1] if i > 0 else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                pred = left if pa <= pb and pa <= pc else (up if pb <= pc else corner)
                line[i] = (line[i] + pred) & 0xFF
        rows.append([v for b in line for v in (b >> 4, b & 15)])
        previous = line
    return palette + [(0, 0, 0)] * (16 - len(palette)), rows


def read_xbm(path):
    """Set bits of a 32 x 32 XBM (least significant bit leftmost)."""
    with open(path) as f:
        values = [int(v, 16) for v in re.findall(r"0x([0-9a-fA-F]{2})", f.read())]
    return [[(values[y * 4 + x // 8] >> (x % 8)) & 1 for x in range(SIZE)] for y in range(SIZE)]


def pack_rows(rows, bits):
    """Bottom-up rows of a DIB, each padded to 4 bytes."""
    out = b""
    for row in reversed(rows):
        line = bytearray()
        acc, count = 0, 0
        for v in row:
            acc = (acc << bits) | v
            count += bits
            if count == 8:
                line.append(acc)
                acc, count = 0, 0
        while len(line) % 4:
            line.append(0)
        out += bytes(line)
    return out


def dib(colour_rows, colours, bits, mask_rows):
    """BITMAPINFOHEADER, palette, XOR picture and AND mask of one image."""
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, bits, 0, 0, 0, 0, len(colours), 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in colours)
    return header + palette + pack_rows(colour_rows, bits) + pack_rows(mask_rows, 1)


def write_directory(path, kind, image, colour_count, hot):
    # ICONDIR, then one entry: for a cursor the planes and bit count fields
    # hold the hot spot.
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, colour_count, 0, hot[0], hot[1], len(image), 22)
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, kind, 1) + entry + image)


if __name__ == "__main__":
    palette, pixels = read_indexed_png("../icons/tavro.png")
    opaque = [[0] * SIZE for _ in range(SIZE)]
    write_directory("tavro.ico", 1, dib(pixels, palette, 4, opaque), 16, (1, 4))

    bars = read_xbm("../icons/tavro-cursor.xbm")
    # Monochrome cursor: AND 0 and XOR 1 is white, AND 1 and XOR 0 shows the
    # screen through.
    transparent = [[1 - v for v in row] for row in bars]
    write_directory("crosshair.cur", 2, dib(bars, [(0, 0, 0), (255, 255, 255)], 1, transparent),
                    2, (15, 15))
