// Glyph lookup in the built-in font table (layout in glyph_table.h).
#include "surface/glyph_table.h"

#include <cstring>

// The table's bytes, placed into the program by res/embed_font.cpp.
extern "C" const unsigned char tavro_glyph_table[];
extern "C" const unsigned char tavro_glyph_table_end[];

namespace {

std::uint32_t Le32(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

std::span<const unsigned char> EmbeddedGlyphTable() {
  return {tavro_glyph_table, tavro_glyph_table_end};
}

bool glyph_table::Find(std::span<const unsigned char> table, char32_t codepoint, Glyph& glyph) {
  const unsigned char* const data = table.data();
  const std::size_t size = table.size();
  if (size < kHeaderBytes || std::memcmp(data, kMagic, sizeof kMagic) != 0) return false;
  const std::uint32_t ranges = Le32(data + 8);
  const std::uint32_t glyphs = Le32(data + 12);
  const std::size_t blocks = (static_cast<std::size_t>(glyphs) + kBlockGlyphs - 1) / kBlockGlyphs;
  const std::size_t records = kHeaderBytes + ranges * kRangeBytes + blocks * 4;
  if (ranges == 0 || ranges > size / kRangeBytes || glyphs > size || records > size) return false;

  // The last run starting at or before the code point.
  const unsigned char* const rangeTable = data + kHeaderBytes;
  std::uint32_t low = 0;
  std::uint32_t high = ranges;  // runs [low, high) may hold it
  while (high - low > 1) {
    const std::uint32_t mid = low + (high - low) / 2;
    if (Le32(rangeTable + mid * kRangeBytes) <= codepoint) {
      low = mid;
    } else {
      high = mid;
    }
  }
  const unsigned char* const run = rangeTable + low * kRangeBytes;
  const std::uint32_t first = Le32(run);
  const std::uint32_t start = Le32(run + 4);
  const std::uint32_t end = low + 1 < ranges ? Le32(run + kRangeBytes + 4) : glyphs;
  if (codepoint < first || start > end || codepoint - first >= end - start) return false;
  const std::uint32_t number = start + (codepoint - first);

  // Walk from the start of its block to the record.
  std::size_t at = records + Le32(data + kHeaderBytes + ranges * kRangeBytes +
                                  (number / kBlockGlyphs) * std::size_t{4});
  for (std::uint32_t skip = number % kBlockGlyphs;; --skip) {
    if (at > size || size - at < kRecordHeaderBytes) return false;
    const int bytesPerRow = ((data[at + 2] >> 4) & 3) + 1;
    const int firstRow = data[at + 2] & 15;
    const int rowCount = data[at + 3];
    if (firstRow + rowCount > kSurfaceLineHeight) return false;
    const std::size_t length =
        kRecordHeaderBytes + static_cast<std::size_t>(rowCount) * bytesPerRow;
    if (size - at < length) return false;
    if (skip == 0) {
      glyph = Glyph{};
      glyph.advance = data[at];
      glyph.left = static_cast<signed char>(data[at + 1]);
      const unsigned char* row = data + at + kRecordHeaderBytes;
      for (int r = 0; r < rowCount; ++r, row += bytesPerRow) {
        std::uint32_t mask = 0;
        for (int b = 0; b < bytesPerRow; ++b) mask |= static_cast<std::uint32_t>(row[b]) << (8 * b);
        glyph.rows[firstRow + r] = mask;
      }
      return true;
    }
    at += length;
  }
}
