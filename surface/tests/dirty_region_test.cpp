// The region a host shows: every pixel the drawing changed lies in it, it
// stays small for small drawings, and it turns whole past its limits.
#include "surface/dirty_region.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

bool Inside(const DirtyRegion& region, int x, int y) {
  for (int i = 0; i < region.count; ++i) {
    const SurfaceRect& r = region.rects[i];
    if (x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height) return true;
  }
  return false;
}

DirtyRegion Taken() {
  DirtyRegion region;
  TakeDirtyRegion(&region);
  return region;
}

TEST(DirtyRegionTest, SmallDrawingsGiveSmallRegionsAndTooMuchGivesTheWhole) {
  struct Case {
    const char* name;
    void (*draw)(DeviceContext& dc);
    int count;
    bool whole;
    int pixels;
  } cases[] = {
      {"nothing", [](DeviceContext&) {}, 0, false, 0},
      {"one pixel", [](DeviceContext& dc) { DcSetPixel(dc, 9, 9, 0xFFFFFF); }, 1, false, 64},
      // a pixel, a line or a glyph drawn again the same leaves nothing to show
      {"the same pixel again", [](DeviceContext& dc) { DcSetPixel(dc, 9, 9, 0xFFFFFF); }, 0, false,
       0},
      {"the same line and text again",
       [](DeviceContext& dc) {
         DcSetBkMode(dc, BkMode::Transparent);
         DcSetTextColor(dc, 0xFFFFFF);
         for (int pass = 0; pass < 2; ++pass) {
           // the first pass draws, the second is measured
           EXPECT_EQ(Taken().count > 0, pass == 1);
           DcMoveTo(dc, 40, 300);
           DcLineTo(dc, 200, 340);
           DcTextOut(dc, 60, 400, "TAVRO 1234", -1);
         }
       },
       0, false, 0},
      {"off the surface", [](DeviceContext& dc) { DcSetPixel(dc, -1, 600, 0xFFFFFF); }, 0, false,
       0},
      {"a column of tiles",
       [](DeviceContext& dc) {
         DcMoveTo(dc, 3, 0);
         DcLineTo(dc, 3, 100);
       },
       1, false, 8 * 104},
      {"two discs apart",
       [](DeviceContext& dc) {
         DcEllipse(dc, 10, 10, 30, 30);
         DcEllipse(dc, 300, 300, 320, 320);
       },
       2, false, 2 * 24 * 24},
      // a disc marks its box on the surface, columns and rows 0 to 19
      {"cut by the edge", [](DeviceContext& dc) { DcEllipse(dc, -50, -50, 20, 20); }, 1, false,
       24 * 24},
      {"cleared", [](DeviceContext&) { ClearSurface(); }, 1, true, 512 * 512},
      {"every other tile",
       [](DeviceContext& dc) {
         for (int y = 0; y < 512; y += 16) {
           for (int x = 0; x < 512; x += 16) DcSetPixel(dc, x, y, 0xFFFFFF);
         }
       },
       1, true, 512 * 512},
      {"most of the surface", [](DeviceContext& dc) { DcEllipse(dc, -100, -100, 612, 612); }, 1,
       true, 512 * 512},
  };
  DeviceContext dc = GetWindowDc();
  DcSelectPen(dc, StockPen::White);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Taken();
    c.draw(dc);
    const DirtyRegion region = Taken();
    EXPECT_EQ(region.count, c.count);
    EXPECT_EQ(region.whole, c.whole);
    EXPECT_EQ(region.Pixels(), c.pixels);
    EXPECT_EQ(Taken().count, 0);  // taken: the next frame starts empty
  }
}

// Past the rectangles a host asks for, the bands that join with the fewest
// untouched tiles are joined first.
TEST(DirtyRegionTest, TooManyRectanglesBecomeTheCheapestBands) {
  DeviceContext dc = GetWindowDc();
  ClearSurface();
  Taken();
  for (const int y : {0, 16, 400}) DcSetPixel(dc, 100, y, 0xFFFFFF);
  DcSetPixel(dc, 300, 400, 0xFFFFFF);
  DirtyRegion region;
  TakeDirtyRegion(&region, 2);
  ASSERT_EQ(region.count, 2);
  EXPECT_FALSE(region.whole);
  const SurfaceRect top = region.rects[0];
  const SurfaceRect bottom = region.rects[1];
  EXPECT_EQ(std::vector<int>({top.x, top.y, top.width, top.height}),
            std::vector<int>({96, 0, 8, 24}));
  EXPECT_EQ(std::vector<int>({bottom.x, bottom.y, bottom.width, bottom.height}),
            std::vector<int>({96, 400, 208, 8}));
}

// Random drawings of every kind: each changed pixel is in the region, and
// the rectangles lie on the surface without overlapping.
TEST(DirtyRegionTest, EveryChangedPixelIsInTheRegion) {
  std::mt19937 random(7);
  auto any = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  DeviceContext dc = GetWindowDc();
  std::vector<std::uint32_t> before(kSurfaceWidth * kSurfaceHeight);
  for (int round = 0; round < 300; ++round) {
    const std::uint32_t* pixels = SurfacePixels();
    before.assign(pixels, pixels + before.size());
    Taken();
    const int shapes = any(1, round % 10 == 0 ? 200 : 6);
    for (int s = 0; s < shapes; ++s) {
      DcSelectPen(dc, any(0, 1) ? StockPen::White : StockPen::Black);
      DcSelectBrush(dc, static_cast<Color>(any(0, 0xFFFFFF)));
      const int x = any(-40, 540);
      const int y = any(-40, 540);
      switch (any(0, 3)) {
        case 0:
          DcSetPixel(dc, x, y, static_cast<Color>(any(1, 0xFFFFFF)));
          break;
        case 1:
          DcEllipse(dc, x, y, x + any(2, 90), y + any(2, 90));
          break;
        case 2:
          DcMoveTo(dc, x, y);
          DcLineTo(dc, any(-40, 540), any(-40, 540));
          break;
        default:
          DcSetBkMode(dc, any(0, 1) ? BkMode::Opaque : BkMode::Transparent);
          DcSetTextColor(dc, static_cast<Color>(any(1, 0xFFFFFF)));
          DcTextOut(dc, x, y, "TAVRO 1234", -1);
          break;
      }
    }
    // a host may ask for a few rectangles at most
    const int most = round % 3 == 0 ? kMaxDirtyRects : (round % 3 == 1 ? 8 : 1);
    DirtyRegion region;
    TakeDirtyRegion(&region, most);
    ASSERT_LE(region.count, most);
    for (int i = 0; i < region.count; ++i) {
      const SurfaceRect& a = region.rects[i];
      ASSERT_TRUE(a.x >= 0 && a.y >= 0 && a.width > 0 && a.height > 0 &&
                  a.x + a.width <= kSurfaceWidth && a.y + a.height <= kSurfaceHeight);
      for (int j = i + 1; j < region.count; ++j) {
        const SurfaceRect& b = region.rects[j];
        ASSERT_FALSE(a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
                     b.y < a.y + a.height)
            << "rectangles " << i << " and " << j << " overlap";
      }
    }
    for (int p = 0; p < kSurfaceWidth * kSurfaceHeight; ++p) {
      if (pixels[p] != before[p]) {
        ASSERT_TRUE(Inside(region, p % kSurfaceWidth, p / kSurfaceWidth))
            << "round " << round << " pixel " << p;
      }
    }
  }
}

}  // namespace
