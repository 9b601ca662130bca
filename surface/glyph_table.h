// The surface's font: GNU Unifont at 16 pixels, rendered monochrome ahead of
// time by tools/glyphgen into a compact table that is built into the program,
// so that every platform draws text with the same pixels and without a font
// library.
//
// Layout, all numbers little-endian:
//   header  "TAVROGL1", u32 range count R, u32 glyph count N
//   ranges  R x (u32 first code point, u32 number of its first glyph): runs of
//           consecutive code points the font has, ascending; a run ends where
//           the next run's glyphs start (the last one at N)
//   blocks  ceil(N / 16) x u32: offset of every 16th glyph record from the
//           start of the records
//   records N glyphs in code point order, each: u8 advance, i8 left (first
//           column relative to the pen), u8 first row | (bytes per row - 1)
//           << 4, u8 row count, then the rows, each a little-endian bit mask
//           in which bit k is column left + k
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "surface/surface.h"

namespace glyph_table {

constexpr char kMagic[8] = {'T', 'A', 'V', 'R', 'O', 'G', 'L', '1'};
constexpr std::size_t kHeaderBytes = 16;
constexpr std::size_t kRangeBytes = 8;
constexpr std::size_t kRecordHeaderBytes = 4;
constexpr int kBlockGlyphs = 16;
constexpr int kMaxColumns = 32;  // a row mask holds at most 32 columns

// One glyph in its 16-row text cell, whose top is 14 rows above the baseline.
struct Glyph {
  int advance = 0;
  int left = 0;
  std::uint32_t rows[kSurfaceLineHeight] = {};
};

// The glyph of a code point; false when the table lacks it (or is damaged).
bool Find(std::span<const unsigned char> table, char32_t codepoint, Glyph& glyph);

}  // namespace glyph_table

// The table built into the program (res/font).
std::span<const unsigned char> EmbeddedGlyphTable();
