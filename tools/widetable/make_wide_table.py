#!/usr/bin/env python3
"""Writes the table of wide characters (East Asian Width W or F) that name
widths are measured with, from Unicode's DerivedEastAsianWidth.txt (Debian's
unicode-data package), defaults for unlisted code points included.

usage: make_wide_table.py [DerivedEastAsianWidth.txt] > records/wide_characters.inc
"""
import re
import sys

SOURCE = "/usr/share/unicode/extracted/DerivedEastAsianWidth.txt"
LONG_NAMES = {"Wide": "W", "Fullwidth": "F", "Neutral": "N", "Narrow": "Na",
              "Halfwidth": "H", "Ambiguous": "A"}


def parse_range(text):
    first, _, last = text.strip().partition("..")
    return int(first, 16), int(last or first, 16)


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else SOURCE
    width = ["N"] * 0x110000
    version = "unknown"
    with open(path, encoding="utf-8") as source:
        for line in source:
            if line.startswith("# DerivedEastAsianWidth-"):
                version = line[len("# DerivedEastAsianWidth-"):].strip().removesuffix(".txt")
            missing = re.match(r"#\s*@missing:\s*([0-9A-F.]+)\s*;\s*(\w+)", line)
            if missing:
                first, last = parse_range(missing.group(1))
                value = LONG_NAMES.get(missing.group(2), missing.group(2))
                width[first:last + 1] = [value] * (last - first + 1)
                continue
            data = line.split("#", 1)[0].strip()
            if not data:
                continue
            code_points, value = (field.strip() for field in data.split(";"))
            first, last = parse_range(code_points)
            width[first:last + 1] = [value] * (last - first + 1)

    ranges = []
    for code_point, value in enumerate(width):
        if value not in ("W", "F"):
            continue
        if ranges and ranges[-1][1] == code_point - 1:
            ranges[-1][1] = code_point
        else:
            ranges.append([code_point, code_point])

    print(f"// Code points of East Asian Width W or F, Unicode {version}; made by")
    print("// tools/widetable/make_wide_table.py. Sorted, non-overlapping, inclusive.")
    for first, last in ranges:
        print(f"{{0x{first:05X}, 0x{last:05X}}},")


if __name__ == "__main__":
    main()
