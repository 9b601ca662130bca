// Text drawing: font metrics, glyph placement, background modes, centring
// and UTF-8 handling.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "surface/glyph_table.h"
#include "surface/surface.h"

namespace {

constexpr Color kText = 0xFFFF00;
constexpr Color kBack = 0x0000FF;
constexpr Color kOld = 0x404040;

Color Px(int x, int y) {
  return SurfacePixels()[y * kSurfaceWidth + x];
}

struct Box {
  int left = kSurfaceWidth, top = kSurfaceHeight, right = -1, bottom = -1;  // inclusive
  int count = 0;
};

// Bounding box of the pixels of one colour.
Box BoxOf(Color color) {
  Box box;
  for (int y = 0; y < kSurfaceHeight; ++y) {
    for (int x = 0; x < kSurfaceWidth; ++x) {
      if (Px(x, y) != color) continue;
      box.left = std::min(box.left, x);
      box.right = std::max(box.right, x);
      box.top = std::min(box.top, y);
      box.bottom = std::max(box.bottom, y);
      ++box.count;
    }
  }
  return box;
}

void FillSurface(Color color) {
  DeviceContext dc = GetWindowDc();
  for (int y = 0; y < kSurfaceHeight; ++y) {
    for (int x = 0; x < kSurfaceWidth; ++x) DcSetPixel(dc, x, y, color);
  }
}

class SurfaceTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InitSurfaceFont()) << "GNU Unifont (fonts-unifont) is not installed";
    ClearSurface();
    DcSetTextColor(dc, kText);
    DcSetBkColor(dc, kBack);
  }

  DeviceContext dc = GetWindowDc();
};

TEST(SurfaceTextLazyTest, TextWorksWithoutAnExplicitFontLoad) {
  // Run alone (as the test runner does), this is the first text call of the
  // process and loads the font by itself.
  EXPECT_EQ(SurfaceTextWidth("Hi", 2), 16);
  EXPECT_TRUE(InitSurfaceFont());  // loading again is harmless
  EXPECT_EQ(SurfaceTextWidth("Hi", 2), 16);
}

TEST_F(SurfaceTextTest, WidthsFollowUnifontCells) {
  EXPECT_EQ(SurfaceTextWidth("A", 1), 8);
  EXPECT_EQ(SurfaceTextWidth(" SCORE:         0  LEVEL: 1  ", 29), 29 * 8);
  EXPECT_EQ(SurfaceTextWidth("", 0), 0);
  EXPECT_EQ(SurfaceTextWidth("ABCDEF", 3), 24);   // only the given bytes count
  EXPECT_EQ(SurfaceTextWidth("ABCDEF", -1), 48);  // negative: up to the zero byte
  EXPECT_EQ(SurfaceTextWidth(nullptr, 5), 0);
  const char* japanese = "\xE3\x81\x82\xE3\x81\x84";  // two hiragana, full width
  EXPECT_EQ(SurfaceTextWidth(japanese, 6), 32);
  EXPECT_EQ(SurfaceTextWidth("A\xE6\xBC\xA2"
                             "B",
                             5),
            32);                                           // A, a kanji, B
  EXPECT_EQ(SurfaceTextWidth("\xF0\x9F\x98\x80", 4), 16);  // from the upper-plane font
}

TEST_F(SurfaceTextTest, GlyphsSitOnTheBaselineFourteenRowsDown) {
  DcSetBkMode(dc, BkMode::Transparent);
  DcTextOut(dc, 100, 200, "A", 1);
  const Box a = BoxOf(kText);
  EXPECT_EQ(a.left, 101);
  EXPECT_EQ(a.right, 106);
  EXPECT_EQ(a.top, 204);
  EXPECT_EQ(a.bottom, 213);  // the row just above the baseline
  // The crossbar and the apex of Unifont's A.
  EXPECT_EQ(Px(101, 210), kText);
  EXPECT_EQ(Px(106, 210), kText);
  EXPECT_EQ(Px(103, 204), kText);

  ClearSurface();
  DcTextOut(dc, 100, 200, "g", 1);
  EXPECT_EQ(BoxOf(kText).bottom, 215);  // the descender reaches the cell's last row

  ClearSurface();
  DcTextOut(dc, 100, 200, "\xE3\x81\x82", 3);  // full-width hiragana A
  const Box hiragana = BoxOf(kText);
  EXPECT_GE(hiragana.top, 200);
  EXPECT_LE(hiragana.bottom, 215);
  EXPECT_GT(hiragana.right, 108);  // wider than a half-width cell
  EXPECT_LE(hiragana.right, 115);
}

TEST_F(SurfaceTextTest, OpaqueModeFillsTheCellsBeforeTheGlyphs) {
  FillSurface(kOld);
  DcTextOut(dc, 40, 60, "AB", 2);
  for (int y = 0; y < kSurfaceHeight; ++y) {
    for (int x = 0; x < kSurfaceWidth; ++x) {
      const bool inCell = x >= 40 && x < 56 && y >= 60 && y < 76;
      if (inCell) {
        ASSERT_TRUE(Px(x, y) == kText || Px(x, y) == kBack) << x << "," << y;
      } else {
        ASSERT_EQ(Px(x, y), kOld) << x << "," << y;
      }
    }
  }
  const Box glyphs = BoxOf(kText);
  EXPECT_GT(glyphs.count, 20);

  // Transparent mode paints the same glyph pixels and nothing else.
  std::vector<bool> opaqueGlyph(kSurfaceWidth * kSurfaceHeight);
  for (int i = 0; i < kSurfaceWidth * kSurfaceHeight; ++i)
    opaqueGlyph[i] = SurfacePixels()[i] == kText;
  FillSurface(kOld);
  DcSetBkMode(dc, BkMode::Transparent);
  DcTextOut(dc, 40, 60, "AB", 2);
  for (int i = 0; i < kSurfaceWidth * kSurfaceHeight; ++i) {
    ASSERT_EQ(SurfacePixels()[i], opaqueGlyph[i] ? kText : kOld) << "pixel " << i;
  }
}

TEST_F(SurfaceTextTest, BlackTextWipesWhatTheSameTextDrewInColour) {
  DcSetBkMode(dc, BkMode::Transparent);
  DcTextOut(dc, 300, 400, " 120", 4);
  EXPECT_GT(BoxOf(kText).count, 0);
  DcSetTextColor(dc, 0x000000);
  DcTextOut(dc, 300, 400, " 120", 4);
  EXPECT_EQ(BoxOf(0x000000).count, kSurfaceWidth * kSurfaceHeight);
}

TEST_F(SurfaceTextTest, CentredTextStartsAtHalfTheFreeWidthOnTheTopRow) {
  DcDrawTextCentered(dc, "AB", 2);  // 16 wide: x = 248
  Box cell = BoxOf(kBack);
  Box glyphs = BoxOf(kText);
  EXPECT_EQ(std::min(cell.left, glyphs.left), 248);
  EXPECT_EQ(std::max(cell.right, glyphs.right), 263);
  EXPECT_EQ(std::min(cell.top, glyphs.top), 0);
  EXPECT_EQ(std::max(cell.bottom, glyphs.bottom), 15);
  EXPECT_EQ(cell.count + glyphs.count, 16 * 16);

  ClearSurface();
  DcDrawTextCentered(dc, "ABC", 3);  // 24 wide: (512 - 24) / 2 = 244
  cell = BoxOf(kBack);
  EXPECT_EQ(cell.left, 244);
  EXPECT_EQ(cell.right, 267);

  // Wider than the surface: starts left of it and is clipped on both sides.
  ClearSurface();
  const std::string wide(70, 'W');  // 560 wide: x = -24
  DcDrawTextCentered(dc, wide.c_str(), static_cast<int>(wide.size()));
  EXPECT_EQ(BoxOf(kBack).count + BoxOf(kText).count, 512 * 16);
  EXPECT_EQ(Px(0, 16), 0u);
}

TEST_F(SurfaceTextTest, TextIsClippedAtEveryEdgeAndFarAway) {
  DcTextOut(dc, -4, -8, "AB", 2);
  EXPECT_EQ(BoxOf(kBack).count + BoxOf(kText).count, 12 * 8);
  ClearSurface();
  DcTextOut(dc, 508, 504, "AB", 2);
  EXPECT_EQ(BoxOf(kBack).count + BoxOf(kText).count, 4 * 8);
  ClearSurface();
  const int far[][2] = {{INT_MIN, 0}, {INT_MAX, 0}, {0, INT_MIN}, {0, INT_MAX}, {INT_MAX, INT_MAX}};
  for (const auto& p : far) DcTextOut(dc, p[0], p[1], "Far away", 8);
  EXPECT_EQ(BoxOf(0x000000).count, kSurfaceWidth * kSurfaceHeight);
}

TEST_F(SurfaceTextTest, MalformedUtf8IsDrawnAsReplacementCharacters) {
  const int replacement = SurfaceTextWidth("\xEF\xBF\xBD", 3);
  ASSERT_GT(replacement, 0);
  // Each of these is one malformed sequence.
  const std::vector<std::string> bad = {"\xFF",         "\x80",         "\xC0\xAF",
                                        "\xE3\x81",     "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                        "\xF0\x9F\x98", "\xC3"};
  for (const std::string& bytes : bad) {
    // An exact-size copy, so that reading past the length would be caught.
    std::vector<char> exact(bytes.begin(), bytes.end());
    const int width = SurfaceTextWidth(exact.data(), static_cast<int>(exact.size()));
    const int expected = bytes == "\xED\xA0\x80"       ? 3 * replacement
                         : bytes == "\xF4\x90\x80\x80" ? 4 * replacement
                         : bytes == "\xC0\xAF"         ? 2 * replacement
                                                       : replacement;
    EXPECT_EQ(width, expected) << "sequence of " << bytes.size() << " bytes";
  }
  // A valid character cut by the length.
  std::vector<char> cut = {'\xE3', '\x81', '\x82'};
  EXPECT_EQ(SurfaceTextWidth(cut.data(), 2), replacement);
  // Valid text around a bad byte survives.
  EXPECT_EQ(SurfaceTextWidth("A\xFF"
                             "B",
                             3),
            16 + replacement);

  DcTextOut(dc, 10, 10, "\xFF\xFE", 2);
  EXPECT_GT(BoxOf(kText).count, 0);
}

TEST_F(SurfaceTextTest, NonAsciiGlyphsStayRightWhenTheCacheOverflows) {
  DcSetBkMode(dc, BkMode::Transparent);
  const char* kanji = "\xE6\xBC\xA2";  // U+6F22
  DcTextOut(dc, 0, 0, kanji, 3);
  const std::vector<Color> first(SurfacePixels(), SurfacePixels() + kSurfaceWidth * 16);
  ASSERT_GT(BoxOf(kText).count, 20);

  // Thousands of other characters pass through the bounded cache.
  for (char32_t c = 0x4E00; c < 0x4E00 + 3000; ++c) {
    const char utf8[3] = {static_cast<char>(0xE0 | (c >> 12)),
                          static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                          static_cast<char>(0x80 | (c & 0x3F))};
    ASSERT_EQ(SurfaceTextWidth(utf8, 3), 16);
  }
  ClearSurface();
  DcTextOut(dc, 0, 0, kanji, 3);
  const std::vector<Color> again(SurfacePixels(), SurfacePixels() + kSurfaceWidth * 16);
  EXPECT_EQ(first, again);
}

TEST_F(SurfaceTextTest, CombiningMarksDrawOverThePreviousCharacter) {
  DcSetBkMode(dc, BkMode::Transparent);
  DcTextOut(dc, 100, 100, "e", 1);
  const int plain = BoxOf(kText).count;
  ClearSurface();
  DcTextOut(dc, 100, 100, "e\xCC\x81", 3);  // e + combining acute accent
  const Box accented = BoxOf(kText);
  EXPECT_GT(accented.count, plain);
  EXPECT_GE(accented.left, 100);
  EXPECT_LE(accented.right, 107);
  EXPECT_EQ(SurfaceTextWidth("e\xCC\x81", 3), 8);
}

}  // namespace

#ifdef TAVRO_BASE_GLYPHS
// A program carrying part of the font draws what that part lacks as U+FFFD
// (blank while it waits for the whole table), says so once, and draws it
// right once the whole table is put in place.
TEST_F(SurfaceTextTest, APartialFontSaysWhatItLacksUntilTheWholeTableComes) {
  std::FILE* file = std::fopen(TAVRO_BASE_GLYPHS, "rb");
  ASSERT_NE(file, nullptr);
  static std::vector<unsigned char> base(1 << 20);
  base.resize(std::fread(base.data(), 1, base.size(), file));
  std::fclose(file);
  const std::span<const unsigned char> whole = EmbeddedGlyphTable();
  const char* kanji = "\xE6\xBC\xA2";  // U+6F22, not in the part
  const char* kana = "A\xE3\x81\x82";  // "A" and a hiragana, in it

  const unsigned char garbage[] = "not a table";
  EXPECT_FALSE(SetSurfaceGlyphTable(garbage, sizeof garbage));
  EXPECT_FALSE(SetSurfaceGlyphTable(nullptr, 0));
  ASSERT_TRUE(SetSurfaceGlyphTable(base.data(), base.size()));
  SurfaceTakeMissingGlyph();
  EXPECT_EQ(SurfaceTextWidth(kana, -1), 24);
  EXPECT_FALSE(SurfaceTakeMissingGlyph());
  EXPECT_EQ(SurfaceTextWidth(kanji, -1), SurfaceTextWidth("\xEF\xBF\xBD", -1));
  EXPECT_TRUE(SurfaceTakeMissingGlyph());
  EXPECT_FALSE(SurfaceTakeMissingGlyph());  // taken
  for (const bool waiting : {true, false}) {
    SetSurfaceFontPart(waiting);
    ClearSurface();
    DcTextOut(dc, 0, 0, kanji, -1);
    EXPECT_TRUE(SurfaceTakeMissingGlyph());
    EXPECT_EQ(BoxOf(kText).count > 0, !waiting) << "waiting " << waiting;
  }

  SetSurfaceFontPart(true);  // ended by the whole table
  ASSERT_TRUE(SetSurfaceGlyphTable(whole.data(), whole.size()));
  ClearSurface();
  DcTextOut(dc, 0, 0, kanji, -1);
  EXPECT_FALSE(SurfaceTakeMissingGlyph());
  EXPECT_EQ(SurfaceTextWidth(kanji, -1), 16);
  EXPECT_GT(BoxOf(kText).count, 10);
}
#endif
