// The committed glyph table is what the generator makes from the installed
// font, and the surface draws every character from it exactly as FreeType
// renders the font.
#include "tools/glyphgen/glyphgen.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "surface/glyph_table.h"
#include "surface/surface.h"

namespace {

using Bytes = std::vector<unsigned char>;

TEST(Glyphgen, MakesExactlyTheCommittedAndEmbeddedTable) {
  std::string error;
  const Bytes made = MakeGlyphTable(TAVRO_FONT_FILE, TAVRO_UPPER_FONT_FILE, error);
  ASSERT_FALSE(made.empty()) << error;
  std::ifstream in(TAVRO_GLYPH_FILE, std::ios::binary);
  const Bytes committed{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_TRUE(made == committed)
      << "the installed fonts-unifont differs from the one the table was "
         "made from; regenerate it (target regenerate_glyphs)";
  const std::span<const unsigned char> embedded = EmbeddedGlyphTable();
  EXPECT_TRUE(Bytes(embedded.begin(), embedded.end()) == committed);
}

std::string Utf8(char32_t c) {
  std::string s;
  if (c < 0x80) {
    s += static_cast<char>(c);
  } else if (c < 0x800) {
    s += static_cast<char>(0xC0 | c >> 6);
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    s += static_cast<char>(0xE0 | c >> 12);
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | c >> 18);
    s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  }
  return s;
}

constexpr int kPenX = 200;
constexpr int kPenY = 100;
constexpr int kLeft = kPenX - 64;  // the compared area: 128 columns of the text cell's rows
constexpr int kColumns = 128;
using Area = std::array<bool, kColumns * kSurfaceLineHeight>;

struct Rendered {
  Area area{};
  int advance = 0;
};

// FreeType's monochrome 16-pixel rendering placed as text with its top-left
// at the pen: the baseline lies the face's ascent below the top.
Rendered RenderWithFreeType(FT_Face face, FT_UInt index, int ascent) {
  Rendered out;
  EXPECT_EQ(FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO), 0);
  const FT_GlyphSlot slot = face->glyph;
  EXPECT_EQ(slot->bitmap.pixel_mode, FT_PIXEL_MODE_MONO);
  out.advance = static_cast<int>((slot->advance.x + 32) >> 6);
  for (unsigned r = 0; r < slot->bitmap.rows; ++r) {
    const unsigned char* line =
        slot->bitmap.buffer + static_cast<std::ptrdiff_t>(r) * slot->bitmap.pitch;
    for (unsigned c = 0; c < slot->bitmap.width; ++c) {
      if ((line[c >> 3] & (0x80 >> (c & 7))) == 0) continue;
      const int row = ascent - slot->bitmap_top + static_cast<int>(r);
      const int column = kPenX + slot->bitmap_left + static_cast<int>(c) - kLeft;
      // A pixel outside the cell is a glyph the surface cannot show.
      EXPECT_TRUE(row >= 0 && row < kSurfaceLineHeight && column >= 0 && column < kColumns);
      if (row >= 0 && row < kSurfaceLineHeight && column >= 0 && column < kColumns) {
        out.area[row * kColumns + column] = true;
      }
    }
  }
  return out;
}

// Draws the character in white on black and reads the area back, then wipes
// it by drawing it in black.
Rendered DrawOnSurface(const std::string& utf8) {
  DeviceContext dc = GetWindowDc();
  DcSetBkMode(dc, BkMode::Transparent);
  DcSetTextColor(dc, 0xFFFFFF);
  DcTextOut(dc, kPenX, kPenY, utf8.data(), static_cast<int>(utf8.size()));
  Rendered out;
  for (int r = 0; r < kSurfaceLineHeight; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      out.area[r * kColumns + c] = SurfacePixels()[(kPenY + r) * kSurfaceWidth + kLeft + c] != 0;
    }
  }
  out.advance = SurfaceTextWidth(utf8.data(), static_cast<int>(utf8.size()));
  DcSetTextColor(dc, 0x000000);
  DcTextOut(dc, kPenX, kPenY, utf8.data(), static_cast<int>(utf8.size()));
  return out;
}

class FreeTypeFonts : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    for (const char* path : {TAVRO_FONT_FILE, TAVRO_UPPER_FONT_FILE}) {
      if (*path == '\0') continue;
      FT_Face face = nullptr;
      ASSERT_EQ(FT_New_Face(library, path, 0, &face), 0) << path;
      ASSERT_EQ(FT_Set_Pixel_Sizes(face, 0, 16), 0);
      faces.push_back(face);
    }
  }
  void TearDown() override {
    for (FT_Face face : faces) FT_Done_Face(face);
    FT_Done_FreeType(library);
  }

  FT_Library library = nullptr;
  std::vector<FT_Face> faces;
};

TEST_F(FreeTypeFonts, SurfaceDrawsEveryCharacterAsFreeTypeRendersIt) {
  const int ascent = static_cast<int>((faces.front()->size->metrics.ascender + 32) >> 6);
  // Every character of the fonts, from the first font that has it; the
  // surface's UTF-8 decoder never yields surrogates.
  std::map<char32_t, std::pair<FT_Face, FT_UInt>> characters;
  for (FT_Face face : faces) {
    FT_UInt index = 0;
    for (FT_ULong c = FT_Get_First_Char(face, &index); index != 0;
         c = FT_Get_Next_Char(face, c, &index)) {
      if (c < 0xD800 || (c > 0xDFFF && c <= 0x10FFFF))
        characters.emplace(c, std::pair{face, index});
    }
  }
  ASSERT_GT(characters.size(), 60000u);
  ASSERT_TRUE(characters.contains(0xFFFD));
  const Rendered replacement =
      RenderWithFreeType(characters[0xFFFD].first, characters[0xFFFD].second, ascent);

  ClearSurface();
  int failures = 0;
  auto check = [&](char32_t c, const Rendered& expected) {
    const Rendered drawn = DrawOnSurface(Utf8(c));
    if (drawn.area != expected.area || drawn.advance != expected.advance) {
      ADD_FAILURE() << "U+" << std::hex << static_cast<std::uint32_t>(c) << std::dec << ": advance "
                    << drawn.advance << ", FreeType " << expected.advance;
      ++failures;
    }
  };
  // The characters the fonts lack, next to each run of ones they have, are
  // drawn as U+FFFD.
  auto checkMissing = [&](char32_t c) {
    if (c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF) && !characters.contains(c))
      check(c, replacement);
  };
  for (const auto& [c, source] : characters) {
    check(c, RenderWithFreeType(source.first, source.second, ascent));
    if (c > 0) checkMissing(c - 1);
    checkMissing(c + 1);
    if (failures > 20) FAIL() << "giving up";
  }
  for (int i = 0; i < kSurfaceWidth * kSurfaceHeight; ++i) {
    ASSERT_EQ(SurfacePixels()[i], 0u) << "left over at pixel " << i;
  }
}

}  // namespace
