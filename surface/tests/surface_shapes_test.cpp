// Pixels, lines, ellipses, clipping and PNG output of the surface.
#include <gtest/gtest.h>
#ifdef TAVRO_TEST_PNG_READER
#include <png.h>
#endif

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "surface/surface.h"
#include "surface/surface_internal.h"

namespace {

constexpr Color kWhite = 0xFFFFFF;
constexpr Color kFill = 0x22AA44;

Color Px(int x, int y) {
  return SurfacePixels()[y * kSurfaceWidth + x];
}

int CountNonBlack() {
  int count = 0;
  for (int i = 0; i < kSurfaceWidth * kSurfaceHeight; ++i) count += SurfacePixels()[i] != 0;
  return count;
}

std::vector<Color> Snapshot() {
  return {SurfacePixels(), SurfacePixels() + kSurfaceWidth * kSurfaceHeight};
}

class SurfaceTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearSurface(); }

  // Draws the ellipse with a white pen and a coloured brush, so that every
  // covered pixel is non-black and the rim is white.
  void DrawMarked(int left, int top, int right, int bottom) {
    DcSelectPen(dc, StockPen::White);
    DcSelectBrush(dc, kFill);
    DcEllipse(dc, left, top, right, bottom);
  }

  DeviceContext dc = GetWindowDc();
};

// Covered columns of one row: first and last, or {-1, -1} for none. Fails the
// test when the row is not one unbroken run.
std::pair<int, int> RowRun(int y) {
  int first = -1;
  int last = -1;
  for (int x = 0; x < kSurfaceWidth; ++x) {
    if (Px(x, y) == 0) continue;
    if (first < 0) first = x;
    EXPECT_TRUE(last < 0 || last == x - 1) << "row " << y << " broken at " << x;
    last = x;
  }
  return {first, last};
}

// --- Device context -------------------------------------------------------

TEST_F(SurfaceTest, FreshContextHasSystemDefaultsAndSelectsReturnPrevious) {
  EXPECT_EQ(dc.pen, StockPen::Black);
  EXPECT_EQ(dc.brush, 0xFFFFFFu);
  EXPECT_EQ(dc.textColor, 0x000000u);
  EXPECT_EQ(dc.bkColor, 0xFFFFFFu);
  EXPECT_EQ(dc.bkMode, BkMode::Opaque);
  EXPECT_EQ(dc.currentX, 0);
  EXPECT_EQ(dc.currentY, 0);

  EXPECT_EQ(DcSelectPen(dc, StockPen::White), StockPen::Black);
  EXPECT_EQ(DcSelectPen(dc, StockPen::Black), StockPen::White);
  EXPECT_EQ(DcSelectBrush(dc, 0x123456), 0xFFFFFFu);
  EXPECT_EQ(DcSelectBrush(dc, 0xFFFFFF), 0x123456u);
  EXPECT_EQ(DcSetTextColor(dc, 0xFF0000), 0x000000u);
  EXPECT_EQ(DcSetTextColor(dc, 0x000000), 0xFF0000u);
  EXPECT_EQ(DcSetBkColor(dc, 0x000000), 0xFFFFFFu);
  EXPECT_EQ(DcSetBkColor(dc, 0xFFFFFF), 0x000000u);
  EXPECT_EQ(DcSetBkMode(dc, BkMode::Transparent), BkMode::Opaque);
  EXPECT_EQ(DcSetBkMode(dc, BkMode::Opaque), BkMode::Transparent);

  DcMoveTo(dc, 7, 9);
  ReleaseWindowDc(dc);
  DeviceContext again = GetWindowDc();
  EXPECT_EQ(again.currentX, 0);
  EXPECT_EQ(again.pen, StockPen::Black);
}

TEST_F(SurfaceTest, SurfaceStartsBlackAndClearMakesItBlack) {
  EXPECT_EQ(CountNonBlack(), 0);
  DcSetPixel(dc, 3, 4, 0x010203);
  EXPECT_EQ(Px(3, 4), 0x010203u);
  ClearSurface();
  EXPECT_EQ(CountNonBlack(), 0);
}

TEST_F(SurfaceTest, SetPixelClipsAndKeepsTwentyFourBits) {
  DcSetPixel(dc, 0, 0, 0xFF123456);
  EXPECT_EQ(Px(0, 0), 0x123456u);
  DcSetPixel(dc, 511, 511, kWhite);
  EXPECT_EQ(Px(511, 511), kWhite);
  for (int v : {-1, 512, INT_MIN, INT_MAX}) {
    DcSetPixel(dc, v, 10, kWhite);
    DcSetPixel(dc, 10, v, kWhite);
  }
  EXPECT_EQ(CountNonBlack(), 2);
}

// --- Lines ----------------------------------------------------------------

TEST_F(SurfaceTest, HorizontalLineLeavesOutItsEndPoint) {
  DcSelectPen(dc, StockPen::White);
  DcMoveTo(dc, 0, 100);
  DcLineTo(dc, 511, 100);
  EXPECT_EQ(RowRun(100), std::make_pair(0, 510));
  EXPECT_EQ(dc.currentX, 511);
  EXPECT_EQ(dc.currentY, 100);

  DcMoveTo(dc, 0, 200);
  DcLineTo(dc, 512, 200);
  EXPECT_EQ(RowRun(200), std::make_pair(0, 511));
  EXPECT_EQ(CountNonBlack(), 511 + 512);
}

TEST_F(SurfaceTest, MinorCoordinateRoundsToNearestWithHalvesToSmaller) {
  DcSelectPen(dc, StockPen::White);
  DcMoveTo(dc, 10, 10);
  DcLineTo(dc, 14, 11);  // 1/4, 1/2, 3/4 of a pixel down
  EXPECT_EQ(Px(10, 10), kWhite);
  EXPECT_EQ(Px(11, 10), kWhite);
  EXPECT_EQ(Px(12, 10), kWhite);  // exact half: the smaller y
  EXPECT_EQ(Px(13, 11), kWhite);
  EXPECT_EQ(CountNonBlack(), 4);

  ClearSurface();
  DcMoveTo(dc, 14, 11);  // the same segment drawn backwards
  DcLineTo(dc, 10, 10);
  EXPECT_EQ(Px(14, 11), kWhite);
  EXPECT_EQ(Px(13, 11), kWhite);
  EXPECT_EQ(Px(12, 10), kWhite);  // exact half: still the smaller y
  EXPECT_EQ(Px(11, 10), kWhite);
  EXPECT_EQ(CountNonBlack(), 4);

  ClearSurface();
  DcMoveTo(dc, 20, 20);  // steep: steps along y, x rounds
  DcLineTo(dc, 21, 24);
  EXPECT_EQ(Px(20, 20), kWhite);
  EXPECT_EQ(Px(20, 21), kWhite);
  EXPECT_EQ(Px(20, 22), kWhite);
  EXPECT_EQ(Px(21, 23), kWhite);
  EXPECT_EQ(CountNonBlack(), 4);
}

TEST_F(SurfaceTest, DiagonalAndGeneralLinesDrawOnePixelPerMajorStep) {
  DcSelectPen(dc, StockPen::White);
  DcMoveTo(dc, 5, 5);
  DcLineTo(dc, 10, 0);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Px(5 + i, 5 - i), kWhite);
  EXPECT_EQ(CountNonBlack(), 5);

  const int ends[][4] = {{100, 100, 300, 170}, {300, 170, 100, 100}, {50, 400, 60, 20},
                         {400, 50, 3, 51},     {7, 7, 7, 300},       {250, 250, 249, 251}};
  for (const auto& e : ends) {
    ClearSurface();
    DcMoveTo(dc, e[0], e[1]);
    DcLineTo(dc, e[2], e[3]);
    const int n = std::max(std::abs(e[2] - e[0]), std::abs(e[3] - e[1]));
    EXPECT_EQ(CountNonBlack(), n) << e[0] << "," << e[1] << " to " << e[2] << "," << e[3];
    EXPECT_EQ(Px(e[0], e[1]), kWhite);
    EXPECT_EQ(Px(e[2], e[3]), 0u);
  }

  ClearSurface();
  DcMoveTo(dc, 30, 30);
  DcLineTo(dc, 30, 30);  // zero length: nothing
  EXPECT_EQ(CountNonBlack(), 0);
}

TEST_F(SurfaceTest, ClosedPolylineDrawsTheWholeRectangleOutline) {
  DcSelectPen(dc, StockPen::White);
  DcMoveTo(dc, 180, 50);
  DcLineTo(dc, 305, 50);
  DcLineTo(dc, 305, 85);
  DcLineTo(dc, 180, 85);
  DcLineTo(dc, 180, 50);
  for (int x = 180; x <= 305; ++x) {
    EXPECT_EQ(Px(x, 50), kWhite);
    EXPECT_EQ(Px(x, 85), kWhite);
  }
  for (int y = 50; y <= 85; ++y) {
    EXPECT_EQ(Px(180, y), kWhite);
    EXPECT_EQ(Px(305, y), kWhite);
  }
  EXPECT_EQ(CountNonBlack(), 2 * 126 + 2 * 34);
}

TEST_F(SurfaceTest, BlackPenDrawsBlack) {
  DcSelectPen(dc, StockPen::White);
  DcMoveTo(dc, 0, 7);
  DcLineTo(dc, 20, 7);
  DcSelectPen(dc, StockPen::Black);
  DcMoveTo(dc, 5, 7);
  DcLineTo(dc, 15, 7);
  EXPECT_EQ(CountNonBlack(), 10);
  EXPECT_EQ(Px(4, 7), kWhite);
  EXPECT_EQ(Px(5, 7), 0u);
  EXPECT_EQ(Px(15, 7), kWhite);
}

TEST_F(SurfaceTest, LinesFromFarOutsideAreClippedExactly) {
  DcSelectPen(dc, StockPen::White);
  DcMoveTo(dc, INT_MIN, INT_MIN);
  DcLineTo(dc, INT_MAX, INT_MAX);  // |dx| == |dy|: the main diagonal
  for (int i = 0; i < kSurfaceWidth; ++i) EXPECT_EQ(Px(i, i), kWhite);
  EXPECT_EQ(CountNonBlack(), kSurfaceWidth);
  EXPECT_EQ(dc.currentX, INT_MAX);

  ClearSurface();
  DcMoveTo(dc, -1000000000, 5);
  DcLineTo(dc, 1000000000, 5);
  EXPECT_EQ(RowRun(5), std::make_pair(0, 511));
  EXPECT_EQ(CountNonBlack(), kSurfaceWidth);

  // Just past the middle of a line rising one pixel over 2^32 - 1 steps:
  // every visible pixel has rounded up to the second row.
  ClearSurface();
  DcMoveTo(dc, INT_MIN, 0);
  DcLineTo(dc, INT_MAX, 1);
  EXPECT_EQ(RowRun(0), std::make_pair(-1, -1));
  EXPECT_EQ(RowRun(1), std::make_pair(0, 511));

  // Lines that never touch the surface.
  ClearSurface();
  const int far[][4] = {{INT_MIN, -5, INT_MAX, -5},
                        {-1, INT_MIN, -1, INT_MAX},
                        {512, 0, INT_MAX, INT_MIN},
                        {INT_MAX, INT_MAX, INT_MIN, INT_MAX},
                        {-100, 600, 600, 2000}};
  for (const auto& e : far) {
    DcMoveTo(dc, e[0], e[1]);
    DcLineTo(dc, e[2], e[3]);
  }
  EXPECT_EQ(CountNonBlack(), 0);

  // A steep line entering from above.
  DcMoveTo(dc, 100, -2000000000);
  DcLineTo(dc, 100, 2000000000);
  EXPECT_EQ(CountNonBlack(), kSurfaceHeight);
}

// The pixels (as surface indices) of the segment from (x0, y0) to (x1, y1)
// without its end point: step i = 0 .. n-1 along the longer axis (n steps),
// the other coordinate the nearest integer to i * delta / n, an exact half
// going to the smaller one. Exact 128-bit arithmetic for each visible step.
std::vector<int> ReferenceLine(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
  std::vector<int> pixels;
  const std::int64_t dx = x1 - x0;
  const std::int64_t dy = y1 - y0;
  const std::int64_t n = std::max(std::abs(dx), std::abs(dy));
  if (n == 0) return pixels;
  const bool alongX = std::abs(dx) >= std::abs(dy);
  const std::int64_t majorStart = alongX ? x0 : y0;
  const std::int64_t majorDelta = alongX ? dx : dy;
  const std::int64_t minorStart = alongX ? y0 : x0;
  const std::int64_t minorDelta = alongX ? dy : dx;
  for (std::int64_t major = 0; major < kSurfaceWidth; ++major) {  // the surface is square
    const std::int64_t i = majorDelta > 0 ? major - majorStart : majorStart - major;
    if (i < 0 || i >= n) continue;
    const __int128 product = static_cast<__int128>(i) * minorDelta;
    __int128 whole = product / n;  // floor, then round to nearest
    if (product % n != 0 && product < 0) --whole;
    const __int128 rest = product - whole * n;  // 0 <= rest < n
    if (2 * rest > n) ++whole;
    const __int128 minor = minorStart + whole;
    if (minor < 0 || minor >= kSurfaceWidth) continue;
    const int m = static_cast<int>(major), k = static_cast<int>(minor);
    pixels.push_back(alongX ? k * kSurfaceWidth + m : m * kSurfaceWidth + k);
  }
  return pixels;
}

TEST_F(SurfaceTest, LinesMatchTheNearestPixelRuleInEveryOctantAndAtAnyDistance) {
  std::vector<std::array<int, 4>> lines;
  for (int dx = -24; dx <= 24; ++dx) {  // every direction, short
    for (int dy = -24; dy <= 24; ++dy) lines.push_back({300, 200, 300 + dx, 200 + dy});
  }
  const int edges[] = {INT_MIN, -1000000007, -40000, -513, -1, 0, 255, 511, 512, 65535, INT_MAX};
  for (int a : edges) {  // long and clipped, through and past the surface
    for (int b : edges) {
      lines.push_back({a, b, b / -3, a / 5});
      lines.push_back({a, 7, b, 500});
      lines.push_back({100, a, 411, b});
    }
  }
  std::uint64_t seed = 12345;
  auto next = [&seed](std::int64_t range) {  // uniform in -range .. range
    seed = seed * 6364136223846793005u + 1442695040888963407u;
    return static_cast<int>(static_cast<std::int64_t>((seed >> 16) % (2 * range + 1)) - range);
  };
  const int far = INT_MAX - 2000;
  for (int k = 0; k < 3000; ++k) {  // random: near, from far away, to far away, right across
    const int nx = next(600), ny = next(600), fx = next(far), fy = next(far);
    switch (k % 4) {
      case 0:
        lines.push_back({nx, ny, next(600), next(600)});
        break;
      case 1:
        lines.push_back({fx, fy, nx, ny});
        break;
      case 2:
        lines.push_back({nx, ny, fx, fy});
        break;
      default:
        lines.push_back({fx, fy, nx + 512 - fx, ny + 512 - fy});  // centre near the surface
    }
  }

  // Each line must draw exactly its pixels: they are black before it, white
  // after it and erased again; anything else it drew is still there when the
  // surface is checked after each batch of lines.
  DcSelectPen(dc, StockPen::White);
  const std::size_t batch = 500;
  for (std::size_t first = 0; first < lines.size(); first += batch) {
    for (std::size_t k = first; k < std::min(first + batch, lines.size()); ++k) {
      const auto& l = lines[k];
      SCOPED_TRACE(testing::Message() << l[0] << "," << l[1] << " to " << l[2] << "," << l[3]);
      const std::vector<int> pixels = ReferenceLine(l[0], l[1], l[2], l[3]);
      for (int p : pixels) ASSERT_EQ(SurfacePixels()[p], 0u) << "drawn by an earlier line";
      DcMoveTo(dc, l[0], l[1]);
      DcLineTo(dc, l[2], l[3]);
      for (int p : pixels) {
        ASSERT_EQ(SurfacePixels()[p], kWhite)
            << "missing " << p % kSurfaceWidth << "," << p / kSurfaceWidth;
        DcSetPixel(dc, p % kSurfaceWidth, p / kSurfaceWidth, 0);
      }
    }
    ASSERT_EQ(CountNonBlack(), 0) << "stray pixels from lines " << first << " on";
  }
}

// --- Ellipses -------------------------------------------------------------

TEST_F(SurfaceTest, TenByTenBoxGivesTheReferenceDisc) {
  DrawMarked(100, 200, 110, 210);
  const std::pair<int, int> expected[10] = {{3, 6}, {2, 7}, {1, 8}, {0, 9}, {0, 9},
                                            {0, 9}, {0, 9}, {1, 8}, {2, 7}, {3, 6}};
  for (int r = 0; r < 10; ++r) {
    EXPECT_EQ(RowRun(200 + r), std::make_pair(100 + expected[r].first, 100 + expected[r].second))
        << "row " << r;
  }
  EXPECT_EQ(RowRun(199).first, -1);
  EXPECT_EQ(RowRun(210).first, -1);
}

TEST_F(SurfaceTest, RadiusEightAndNineDiscsHaveTheReferenceRowEnds) {
  const struct {
    int r;
    std::vector<int> leftEnds;  // rows of the top half
  } discs[] = {{8, {5, 4, 2, 2, 1, 0, 0, 0}}, {9, {6, 4, 3, 2, 1, 1, 0, 0, 0}}};
  for (const auto& [r, leftEnds] : discs) {
    ClearSurface();
    const int cx = 300, cy = 300;
    DrawMarked(cx - r, cy - r, cx + r, cy + r);
    for (int row = 0; row < r; ++row) {
      const auto top = RowRun(cy - r + row);
      const auto bottom = RowRun(cy + r - 1 - row);
      EXPECT_EQ(top.first, cx - r + leftEnds[row]) << "radius " << r << " row " << row;
      EXPECT_EQ(top.second, cx + r - 1 - leftEnds[row]) << "radius " << r << " row " << row;
      EXPECT_EQ(bottom, top) << "radius " << r << " row " << row;
    }
  }
}

// Left offsets of the rows of a w x h box by the rectangle-ellipse walk. In
// doubled coordinates about the box's centre the ellipse through the outer
// pixel centres is F(X, Y) = b^2 X^2 + a^2 Y^2 - a^2 b^2 = 0 (a = w - 1,
// b = h - 1, F < 0 inside). The walk starts at the left end of the middle
// row(s) and heads for the bottom-left corner, mirrored to the top. From
// pixel (X, Y), with the diagonal neighbour's value D = F(X + 2, Y + 2), it
// steps right when D + F(X, Y + 2) >= 0 and down when D + F(X + 2, Y) <= 0,
// both decided before moving, until it passes the middle column; rows it
// has not reached then take the column left of where it stopped.
std::vector<int> WalkRowLefts(std::int64_t w, std::int64_t h) {
  const std::int64_t a = w - 1, b = h - 1;
  auto f = [&](std::int64_t x, std::int64_t y) {
    return b * b * x * x + a * a * y * y - a * a * b * b;
  };
  std::vector<int> left(h, static_cast<int>(w));
  auto plot = [&](std::int64_t x, std::int64_t y) {
    const std::int64_t column = (x + a) / 2, row = (y + b) / 2;
    for (std::int64_t r : {row, b - row}) left[r] = std::min(left[r], static_cast<int>(column));
  };
  std::int64_t x = -a, y = b % 2;
  while (x <= 0) {
    plot(x, y);
    const std::int64_t diagonal = f(x + 2, y + 2);
    const bool right = diagonal + f(x, y + 2) >= 0;
    const bool down = diagonal + f(x + 2, y) <= 0;
    x += right ? 2 : 0;
    y += down ? 2 : 0;
  }
  for (; y <= b; y += 2) plot(x - 2, y);
  return left;
}

TEST_F(SurfaceTest, SquareBoxesFollowTheRectangleEllipseWalk) {
  std::vector<int> sizes;
  for (int size = 2; size <= 84; ++size) sizes.push_back(size);
  sizes.push_back(269);
  sizes.push_back(508);
  for (int size : sizes) {
    const std::vector<int> left = WalkRowLefts(size, size);
    ClearSurface();
    DrawMarked(0, 0, size, size);
    for (int row = 0; row < size; ++row) {
      ASSERT_EQ(RowRun(row), std::make_pair(left[row], size - 1 - left[row]))
          << "box " << size << " row " << row;
    }
  }
  // The boxes (up to 512) where a second x test against the y error after a
  // y step would cut one pair of rows short by a pixel at each end.
  const struct {
    int size, row, left;
  } named[] = {{9, 1, 1}, {16, 2, 2}, {23, 3, 3}, {269, 39, 39}, {508, 74, 74}};
  for (const auto& n : named) {
    EXPECT_EQ(WalkRowLefts(n.size, n.size)[n.row], n.left) << "box " << n.size;
    EXPECT_EQ(surface_internal::EllipseRowLeft(n.size, n.size, n.row), n.left) << "box " << n.size;
    EXPECT_EQ(surface_internal::EllipseRowLeft(n.size, n.size, n.size - 1 - n.row), n.left)
        << "box " << n.size;
  }
}

// Every box up to 128 x 128, flat and tall ones included, has the walk's
// rows; a spread of them is drawn and checked pixel by pixel.
TEST_F(SurfaceTest, EveryBoxUpTo128FollowsTheRectangleEllipseWalk) {
  for (int w = 2; w <= 128; ++w) {
    for (int h = 2; h <= 128; ++h) {
      const std::vector<int> left = WalkRowLefts(w, h);
      for (int row = 0; row < h; ++row) {
        ASSERT_EQ(surface_internal::EllipseRowLeft(w, h, row), left[row])
            << "box " << w << " x " << h << " row " << row;
      }
      if ((w * 7 + h) % 61 != 0) continue;
      ClearSurface();
      DrawMarked(0, 0, w, h);
      for (int row = 0; row < h; ++row) {
        ASSERT_EQ(RowRun(row), std::make_pair(left[row], w - 1 - left[row]))
            << "box " << w << " x " << h << " row " << row;
      }
    }
  }
}

TEST_F(SurfaceTest, BoxesNarrowerOrLowerThanTwoPixelsDrawNothing) {
  DrawMarked(10, 10, 11, 30);
  DrawMarked(10, 10, 30, 11);
  DrawMarked(10, 10, 10, 10);
  DrawMarked(30, 30, 10, 10);  // right/bottom before left/top
  DrawMarked(INT_MAX, INT_MAX, INT_MIN, INT_MIN);
  EXPECT_EQ(CountNonBlack(), 0);

  DrawMarked(10, 10, 12, 12);  // 2 x 2: four rim pixels
  EXPECT_EQ(CountNonBlack(), 4);
  EXPECT_EQ(Px(10, 10), kWhite);
  EXPECT_EQ(Px(11, 11), kWhite);
}

// Every covered row is one run inside the box, the shape is mirror-symmetric
// both ways (and about the diagonal when square), and it touches all four
// sides of the box.
void CheckShape(int w, int h) {
  SCOPED_TRACE(testing::Message() << "box " << w << " x " << h);
  ClearSurface();
  DeviceContext dc = GetWindowDc();
  DcSelectPen(dc, StockPen::White);
  DcSelectBrush(dc, kFill);
  const int left = 20, top = 30;
  DcEllipse(dc, left, top, left + w, top + h);

  bool touchesLeft = false, touchesRight = false;
  int previousWidth = -1;
  for (int j = 0; j < h; ++j) {
    const auto run = RowRun(top + j);
    ASSERT_GE(run.first, left) << "row " << j << " empty or outside";
    ASSERT_LE(run.second, left + w - 1);
    EXPECT_EQ(run.first - left, left + w - 1 - run.second) << "row " << j;
    EXPECT_EQ(run, RowRun(top + h - 1 - j)) << "row " << j;
    touchesLeft |= run.first == left;
    touchesRight |= run.second == left + w - 1;
    const int width = run.second - run.first + 1;
    if (j <= (h - 1) / 2) {
      EXPECT_GE(width, previousWidth) << "row " << j << " narrower than the one above";
      previousWidth = width;
    }
  }
  EXPECT_TRUE(touchesLeft);
  EXPECT_TRUE(touchesRight);
  EXPECT_EQ(RowRun(top - 1).first, -1);
  EXPECT_EQ(RowRun(top + h).first, -1);
  if (w == h) {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        ASSERT_EQ(Px(left + x, top + y) != 0, Px(left + y, top + x) != 0)
            << "not diagonal-symmetric at " << x << "," << y;
      }
    }
  }
}

TEST_F(SurfaceTest, DiscsOfEveryRadiusTheGameDrawsAreSymmetricRuns) {
  const int radii[] = {2,  4,  5,  6,  8,  9,  10, 12, 14, 16, 18, 20, 22, 24,
                       25, 26, 28, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39};
  for (int r : radii) CheckShape(2 * r, 2 * r);
}

TEST_F(SurfaceTest, OddEvenAndFlatBoxesAreSymmetricRuns) {
  for (int w = 2; w <= 41; ++w) {
    for (int h = 2; h <= 41; ++h) CheckShape(w, h);
  }
  CheckShape(2, 300);
  CheckShape(3, 301);
  CheckShape(460, 2);
  CheckShape(257, 255);  // beyond the cached sizes
  CheckShape(400, 333);
}

// The rim is exactly the covered pixels with an uncovered 4-neighbour.
void CheckRim(int left, int top, int w, int h) {
  SCOPED_TRACE(testing::Message() << "box " << w << " x " << h);
  ClearSurface();
  DeviceContext dc = GetWindowDc();
  DcSelectPen(dc, StockPen::White);
  DcSelectBrush(dc, kFill);
  DcEllipse(dc, left, top, left + w, top + h);
  auto covered = [&](int x, int y) { return Px(x, y) != 0; };
  for (int y = top; y < top + h; ++y) {
    for (int x = left; x < left + w; ++x) {
      if (!covered(x, y)) continue;
      const bool edge =
          !covered(x - 1, y) || !covered(x + 1, y) || !covered(x, y - 1) || !covered(x, y + 1);
      ASSERT_EQ(Px(x, y), edge ? kWhite : kFill) << "at " << x - left << "," << y - top;
    }
  }
}

TEST_F(SurfaceTest, PenRimsExactlyThePixelsOnTheShapesBorder) {
  for (int r = 1; r <= 45; ++r) CheckRim(100, 100, 2 * r, 2 * r);
  for (int w = 2; w <= 30; w += 3) {
    for (int h = 2; h <= 30; h += 2) CheckRim(50, 60, w, h);
  }
  CheckRim(10, 10, 300, 40);
  CheckRim(10, 10, 3, 200);
}

// A disc cut by the surface's edge is the unclipped disc's visible part: the
// pixels along the edge are fill, not rim.
TEST_F(SurfaceTest, DiscsCutByAnEdgeAreTheVisiblePartOfTheWholeDisc) {
  const int r = 25;
  const int size = 2 * r;
  DrawMarked(200, 200, 200 + size, 200 + size);
  const std::vector<Color> whole = Snapshot();

  const int offsets[] = {-49, -30, -25, -24, -1, 0};
  for (int ox : offsets) {
    for (int oy : {-40, -25, 0, 200, 470, 490, 511}) {
      for (bool mirrorX : {false, true}) {
        const int left = mirrorX ? kSurfaceWidth - size - ox : ox;
        ClearSurface();
        DrawMarked(left, oy, left + size, oy + size);
        for (int y = 0; y < size; ++y) {
          for (int x = 0; x < size; ++x) {
            const int sx = left + x, sy = oy + y;
            if (sx < 0 || sx >= kSurfaceWidth || sy < 0 || sy >= kSurfaceHeight) continue;
            ASSERT_EQ(Px(sx, sy), whole[(200 + y) * kSurfaceWidth + 200 + x])
                << "disc at " << left << "," << oy << " pixel " << x << "," << y;
          }
        }
      }
    }
  }

  // The concrete case: centre on column 0, so column 0 is the disc's middle
  // column and its inner pixels are fill.
  ClearSurface();
  DrawMarked(-r, 100 - r, r, 100 + r);
  EXPECT_EQ(Px(0, 100 - r), kWhite);
  EXPECT_EQ(Px(0, 100 + r - 1), kWhite);
  for (int y = 100 - r + 1; y < 100 + r - 1; ++y) EXPECT_EQ(Px(0, y), kFill) << "row " << y;
}

TEST_F(SurfaceTest, DiscsEntirelyOffTheSurfaceDrawNothing) {
  DrawMarked(-50 - 25, 100 - 25, -50 + 25, 100 + 25);      // the saucer at x = -50
  DrawMarked(100 - 20, -1024 - 20, 100 + 20, -1024 + 20);  // a rock waiting above
  DrawMarked(0, -40, 40, 0);                               // bottom row is -1
  DrawMarked(512, 0, 560, 40);
  DrawMarked(0, 512, 40, 560);
  DrawMarked(INT_MIN, INT_MIN, INT_MIN + 100, INT_MIN + 100);
  DrawMarked(INT_MAX - 100, INT_MAX - 100, INT_MAX, INT_MAX);
  EXPECT_EQ(CountNonBlack(), 0);
}

TEST_F(SurfaceTest, HugeBoxesAreClippedAndStayWellFormed) {
  // The surface lies in the middle of the largest possible ellipse.
  DrawMarked(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  for (int i = 0; i < kSurfaceWidth * kSurfaceHeight; ++i) {
    ASSERT_EQ(SurfacePixels()[i], kFill) << "pixel " << i;
  }

  // Its top edge: a row of rim along y = 0, drawn in the surface's columns.
  ClearSurface();
  DrawMarked(INT_MIN / 2, 0, INT_MAX / 2, INT_MAX);
  EXPECT_EQ(RowRun(0), std::make_pair(0, 511));
  EXPECT_EQ(Px(256, 0), kWhite);
  EXPECT_EQ(Px(256, 1), kFill);

  // The traced and the analytic shapes agree closely where they meet.
  for (int size : {16384, 16385}) {
    EXPECT_EQ(surface_internal::EllipseRowLeft(size, size, size / 2), 0);
    EXPECT_EQ(surface_internal::EllipseRowLeft(size, size, 0),
              surface_internal::EllipseRowLeft(size, size, size - 1));
  }
  for (int row : {0, 1, 10, 100, 1000, 4000, 8000}) {
    const int traced = surface_internal::EllipseRowLeft(16384, 16384, row);
    const int analytic = surface_internal::EllipseRowLeft(16385, 16385, row);
    EXPECT_NEAR(traced, analytic, 2) << "row " << row;
  }
  EXPECT_EQ(surface_internal::EllipseRowLeft(1, 10, 0), -1);
  EXPECT_EQ(surface_internal::EllipseRowLeft(10, 10, 10), -1);
}

TEST_F(SurfaceTest, DrawingTheSameDiscInBlackErasesItCompletely) {
  DeviceContext eraser = GetWindowDc();  // black pen
  DcSelectBrush(eraser, 0x000000);
  for (int r = 2; r <= 45; ++r) {
    const int centres[][2] = {{256, 256}, {3, 500}, {510, -5}, {-10, 20}};
    for (const auto& centre : centres) {
      const int x = centre[0], y = centre[1];
      DeviceContext painter = GetWindowDc();  // black pen, like the game's rocks
      DcSelectBrush(painter, 0xFF00FF);
      DcEllipse(painter, x - r, y - r, x + r, y + r);
      DcSelectPen(painter, StockPen::White);
      DcEllipse(painter, x - r, y - r, x + r, y + r);  // and the saucer's white rim
      DcEllipse(eraser, x - r, y - r, x + r, y + r);
      ASSERT_EQ(CountNonBlack(), 0) << "radius " << r << " at " << x << "," << y;
    }
  }
}

TEST_F(SurfaceTest, BlackPenRimAndBrushFill) {
  DcSelectBrush(dc, kFill);  // default black pen
  DcEllipse(dc, 0, 0, 10, 10);
  EXPECT_EQ(Px(3, 0), 0u);  // rim
  EXPECT_EQ(Px(4, 1), kFill);
  EXPECT_EQ(Px(0, 4), 0u);
  EXPECT_EQ(Px(1, 4), kFill);
  EXPECT_EQ(CountNonBlack(), 76 - 24);  // covered pixels minus the rim
}

// --- PNG ------------------------------------------------------------------

#ifdef TAVRO_TEST_PNG_READER
TEST_F(SurfaceTest, PngRoundTripKeepsThePixels) {
  DcSetPixel(dc, 0, 0, 0x123456);
  DcSetPixel(dc, 511, 0, 0xFF0000);
  DcSetPixel(dc, 0, 511, 0x00FF00);
  DcSetPixel(dc, 511, 511, 0x0000FF);
  DcSetPixel(dc, 200, 300, 0xFEDCBA);
  const std::string path = ::testing::TempDir() + "surface_roundtrip.png";
  ASSERT_TRUE(WriteSurfacePng(path.c_str()));

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_NE(png_image_begin_read_from_file(&image, path.c_str()), 0) << image.message;
  EXPECT_EQ(image.width, 512u);
  EXPECT_EQ(image.height, 512u);
  EXPECT_EQ(image.format, static_cast<png_uint_32>(PNG_FORMAT_RGB));
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_NE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr), 0) << image.message;
  auto at = [&](int x, int y) {
    const png_byte* p = &rgb[(y * 512 + x) * 3];
    return static_cast<Color>(p[0] << 16 | p[1] << 8 | p[2]);
  };
  EXPECT_EQ(at(0, 0), 0x123456u);
  EXPECT_EQ(at(511, 0), 0xFF0000u);
  EXPECT_EQ(at(0, 511), 0x00FF00u);
  EXPECT_EQ(at(511, 511), 0x0000FFu);
  EXPECT_EQ(at(200, 300), 0xFEDCBAu);
  EXPECT_EQ(at(201, 300), 0u);
  std::remove(path.c_str());
}

// The file read back with libpng; empty when it is not a valid 512 x 512 PNG.
std::vector<Color> ReadPng(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&image, path.c_str()) == 0) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
  const bool read = png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) != 0;
  if (!read || image.width != 512 || image.height != 512) return {};
  std::vector<Color> pixels(512 * 512);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = static_cast<Color>(rgb[i * 3] << 16 | rgb[i * 3 + 1] << 8 | rgb[i * 3 + 2]);
  }
  return pixels;
}

TEST_F(SurfaceTest, PngKeepsAnyPictureAndPacksAPlayfieldSmall) {
  // Noise, runs of every length, rows repeated from near and from beyond the
  // compressor's 32 KiB window (21 rows), and sparse dots on black.
  std::uint32_t seed = 2024;
  auto next = [&seed](std::uint32_t range) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % range;
  };
  const Color palette[] = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF};
  for (int y = 0; y < 512; ++y) {
    for (int x = 0; x < 512;) {
      switch (y % 4) {
        case 0:
          DcSetPixel(dc, x++, y, next(0x1000000));
          break;
        case 1: {
          const Color color = palette[next(5)];
          for (int run = 1 + static_cast<int>(next(300)); run > 0 && x < 512; --run) {
            DcSetPixel(dc, x++, y, color);
          }
          break;
        }
        case 2: {
          const int from = std::max(0, y - 1 - static_cast<int>(next(30)));
          for (; x < 512; ++x) DcSetPixel(dc, x, y, Px(x, from) ^ (next(50) == 0 ? 1 : 0));
          break;
        }
        default:
          DcSetPixel(dc, x, y, next(40) == 0 ? palette[next(5)] : 0);
          ++x;
      }
    }
  }
  const std::vector<Color> drawn(SurfacePixels(), SurfacePixels() + 512 * 512);
  const std::string path = ::testing::TempDir() + "surface_busy.png";
  ASSERT_TRUE(WriteSurfacePng(path.c_str()));
  EXPECT_EQ(ReadPng(path), drawn);

  // A playfield of a few rocks and a text line: far below the 768 KiB of
  // the raw pixels.
  ClearSurface();
  DrawMarked(100, 100, 140, 140);
  DrawMarked(300, 50, 318, 68);
  DcTextOut(dc, 0, 0, " SCORE:      1230  LEVEL: 3  ", -1);
  const std::vector<Color> playfield(SurfacePixels(), SurfacePixels() + 512 * 512);
  ASSERT_TRUE(WriteSurfacePng(path.c_str()));
  EXPECT_EQ(ReadPng(path), playfield);
  std::error_code error;
  EXPECT_LT(std::filesystem::file_size(path, error), 16u * 1024);
  std::remove(path.c_str());
}
#endif

TEST_F(SurfaceTest, PngToAnUnwritablePathFails) {
  EXPECT_FALSE(WriteSurfacePng("/nonexistent-folder/for/sure/out.png"));
  EXPECT_FALSE(WriteSurfacePng(""));
  EXPECT_FALSE(WriteSurfacePng(nullptr));
  EXPECT_FALSE(WriteSurfacePng(::testing::TempDir().c_str()));  // a folder
}

}  // namespace
