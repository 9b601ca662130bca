#include "tools/glyphgen/glyphgen.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>

#include "surface/glyph_table.h"

namespace {

constexpr int kPixelSize = 16;

using Bytes = std::vector<unsigned char>;

void Put32(Bytes& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

class Fonts {
 public:
  ~Fonts() {
    for (FT_Face face : faces_) FT_Done_Face(face);
    if (library_ != nullptr) FT_Done_FreeType(library_);
  }

  bool Open(const std::string& path, std::string& error) {
    if (library_ == nullptr && FT_Init_FreeType(&library_) != 0) {
      library_ = nullptr;
      error = "FreeType does not start";
      return false;
    }
    FT_Face face = nullptr;
    if (FT_New_Face(library_, path.c_str(), 0, &face) != 0) {
      error = path + ": not a readable font";
      return false;
    }
    faces_.push_back(face);
    if (FT_Set_Pixel_Sizes(face, 0, kPixelSize) != 0) {
      error = path + ": no 16-pixel size";
      return false;
    }
    return true;
  }

  const std::vector<FT_Face>& faces() const { return faces_; }

 private:
  FT_Library library_ = nullptr;
  std::vector<FT_Face> faces_;
};

// The glyph as the cell holds it: rows counted from the top of the 16-row
// cell, whose baseline is ascent rows down; columns past 32 and rows outside
// the cell are cut off.
bool Render(FT_Face face, FT_UInt index, int ascent, glyph_table::Glyph& glyph) {
  if (FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) return false;
  const FT_GlyphSlot slot = face->glyph;
  const FT_Bitmap& bitmap = slot->bitmap;
  glyph = glyph_table::Glyph{};
  glyph.advance = static_cast<int>((slot->advance.x + 32) >> 6);
  glyph.left = slot->bitmap_left;
  const int top = ascent - slot->bitmap_top;
  const int columns = std::min<int>(static_cast<int>(bitmap.width), glyph_table::kMaxColumns);
  for (unsigned int r = 0; r < bitmap.rows; ++r) {
    const int cellRow = top + static_cast<int>(r);
    if (cellRow < 0 || cellRow >= kSurfaceLineHeight) continue;
    const unsigned char* line = bitmap.buffer + static_cast<std::ptrdiff_t>(r) * bitmap.pitch;
    std::uint32_t mask = 0;
    for (int c = 0; c < columns; ++c) {
      bool on = false;
      if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
        on = (line[c >> 3] & (0x80 >> (c & 7))) != 0;
      } else if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
        on = line[c] >= 128;
      }
      if (on) mask |= 1u << c;
    }
    glyph.rows[cellRow] = mask;
  }
  return true;
}

// One record: the rows from the first to the last non-empty one, each in as
// few bytes as the widest of them needs.
bool Encode(const glyph_table::Glyph& glyph, Bytes& out) {
  // The surface skips glyphs whose pen position lies 32 or more columns off its edges.
  if (glyph.advance < 0 || glyph.advance > 255 || glyph.left < -glyph_table::kMaxColumns ||
      glyph.left > 127) {
    return false;
  }
  int firstRow = 0;
  while (firstRow < kSurfaceLineHeight && glyph.rows[firstRow] == 0) ++firstRow;
  int endRow = kSurfaceLineHeight;
  while (endRow > firstRow && glyph.rows[endRow - 1] == 0) --endRow;
  if (firstRow == endRow) firstRow = endRow = 0;
  std::uint32_t all = 0;
  for (int r = firstRow; r < endRow; ++r) all |= glyph.rows[r];
  int bytesPerRow = 1;
  while (bytesPerRow < 4 && (all >> (8 * bytesPerRow)) != 0) ++bytesPerRow;

  out.push_back(static_cast<unsigned char>(glyph.advance));
  out.push_back(static_cast<unsigned char>(glyph.left & 0xFF));
  out.push_back(static_cast<unsigned char>(firstRow | (bytesPerRow - 1) << 4));
  out.push_back(static_cast<unsigned char>(endRow - firstRow));
  for (int r = firstRow; r < endRow; ++r) {
    for (int b = 0; b < bytesPerRow; ++b) {
      out.push_back(static_cast<unsigned char>(glyph.rows[r] >> (8 * b)));
    }
  }
  return true;
}

}  // namespace

std::vector<unsigned char> MakeGlyphTable(const std::string& fontPath,
                                          const std::string& upperFontPath, std::string& error) {
  Fonts fonts;
  if (!fonts.Open(fontPath, error)) return {};
  if (!upperFontPath.empty() && !fonts.Open(upperFontPath, error)) return {};
  const FT_Face main = fonts.faces().front();
  const int ascent = static_cast<int>((main->size->metrics.ascender + 32) >> 6);

  // Each character from the first font that has it. Surrogates and values
  // past U+10FFFF never come out of the UTF-8 decoder, so they are left out.
  std::map<char32_t, std::pair<FT_Face, FT_UInt>> characters;
  for (FT_Face face : fonts.faces()) {
    FT_UInt index = 0;
    for (FT_ULong c = FT_Get_First_Char(face, &index); index != 0;
         c = FT_Get_Next_Char(face, c, &index)) {
      if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) continue;
      characters.emplace(static_cast<char32_t>(c), std::pair{face, index});
    }
  }
  if (!characters.contains(0xFFFD)) {
    error = fontPath + ": no U+FFFD, which stands for every missing character";
    return {};
  }

  Bytes ranges;
  Bytes blocks;
  Bytes records;
  std::uint32_t count = 0;
  std::uint32_t rangeCount = 0;
  char32_t previous = 0;
  for (const auto& [codepoint, source] : characters) {
    if (count == 0 || codepoint != previous + 1) {
      Put32(ranges, codepoint);
      Put32(ranges, count);
      ++rangeCount;
    }
    if (count % glyph_table::kBlockGlyphs == 0)
      Put32(blocks, static_cast<std::uint32_t>(records.size()));
    glyph_table::Glyph glyph;
    if (!Render(source.first, source.second, ascent, glyph) || !Encode(glyph, records)) {
      char name[16];
      std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(codepoint));
      error = std::string(name) + ": cannot be rendered or stored";
      return {};
    }
    previous = codepoint;
    ++count;
  }

  Bytes table(std::begin(glyph_table::kMagic), std::end(glyph_table::kMagic));
  Put32(table, rangeCount);
  Put32(table, count);
  table.insert(table.end(), ranges.begin(), ranges.end());
  table.insert(table.end(), blocks.begin(), blocks.end());
  table.insert(table.end(), records.begin(), records.end());
  return table;
}
