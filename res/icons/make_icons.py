#!/usr/bin/env python3
"""Draws the program's icon and crosshair cursor.

tavro.png:            32 x 32, 16-colour indexed PNG (the classic 16-colour
                      palette): a burning rock falling over a starry sky onto
                      the green ground line, with a shot's burst beside it.
tavro-cursor.xbm:     32 x 32 crosshair, bars two pixels wide (rows and columns
                      15 and 16) across the whole cursor; hot spot 15, 15. The
                      set bits are the cursor's opaque pixels, shown white.

Run it from this folder to redraw the files; they are kept in the tree.
"""
import math
import struct
import zlib

PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)

SIZE = 32


def draw_icon():
    px = [[BLACK] * SIZE for _ in range(SIZE)]

    def put(x, y, c):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            px[y][x] = c

    # Stars.
    for x, y, c in [(3, 3, WHITE), (9, 7, SILVER), (27, 4, WHITE), (21, 11, GREY),
                    (4, 15, SILVER), (29, 17, WHITE), (14, 2, GREY), (24, 22, SILVER)]:
        put(x, y, c)
    # The flame trail, from the upper right down to the rock.
    for i in range(14):
        t = i / 13.0
        cx = 30 - 12 * t
        cy = 1 + 12 * t
        w = 0.8 + 2.2 * t
        colour = [RED, YELLOW][i % 2] if i > 5 else MAROON
        for y in range(SIZE):
            for x in range(SIZE):
                if math.hypot(x + 0.5 - cx, y + 0.5 - cy) <= w and px[y][x] == BLACK:
                    px[y][x] = colour
    # The rock: a brown disc with a lit rim and dark craters.
    rx, ry, r = 14.5, 17.5, 6.5
    for y in range(SIZE):
        for x in range(SIZE):
            d = math.hypot(x + 0.5 - rx, y + 0.5 - ry)
            if d <= r:
                lit = (x + 0.5 - rx) + (ry - y - 0.5) > 4.5
                px[y][x] = YELLOW if lit and d > r - 1.6 else (OLIVE if d < r - 1 else MAROON)
    for x, y in [(12, 16), (13, 16), (16, 19), (17, 19), (12, 20)]:
        put(x, y, MAROON)
    # A shot's burst to the lower left: a ring of aqua and white.
    bx, by = 6.5, 24.5
    for y in range(SIZE):
        for x in range(SIZE):
            d = math.hypot(x + 0.5 - bx, y + 0.5 - by)
            if 2.2 <= d <= 3.4 and px[y][x] == BLACK:
                px[y][x] = AQUA
    put(6, 24, WHITE)
    # Ground line and the ground below it.
    for x in range(SIZE):
        put(x, 28, LIME)
        for y in range(29, SIZE):
            put(x, y, GREEN if (x + y) % 3 else TEAL)
    return px


def write_png(path, rows):
    raw = b""
    for row in rows:
        line = bytearray([0])
        for i in range(0, SIZE, 2):
            line.append((row[i] << 4) | row[i + 1])
        raw += bytes(line)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 4, 3, 0, 0, 0))
    png += chunk(b"PLTE", b"".join(bytes(c) for c in PALETTE))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def write_xbm(path, name, bits, hot=None):
    data = []
    for y in range(SIZE):
        for byte in range(SIZE // 8):
            v = 0
            for b in range(8):
                if bits(byte * 8 + b, y):
                    v |= 1 << b  # XBM: least significant bit is the leftmost pixel
            data.append(v)
    lines = [f"#define {name}_width {SIZE}", f"#define {name}_height {SIZE}"]
    if hot:
        lines += [f"#define {name}_x_hot {hot[0]}", f"#define {name}_y_hot {hot[1]}"]
    lines.append(f"static unsigned char {name}_bits[] = {{")
    for i in range(0, len(data), 12):
        lines.append("   " + ", ".join(f"0x{v:02x}" for v in data[i:i + 12]) + ",")
    lines[-1] = lines[-1].rstrip(",")
    lines.append("};")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def crosshair(x, y):
    return x in (15, 16) or y in (15, 16)


if __name__ == "__main__":
    write_png("tavro.png", draw_icon())
    write_xbm("tavro-cursor.xbm", "tavro_cursor", crosshair, hot=(15, 15))
