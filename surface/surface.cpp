// Framebuffer, device-context state, pixels, lines and ellipses.
#include "surface/surface.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <utility>

#include "surface/dirty_region.h"
#include "surface/surface_internal.h"

std::uint32_t surface_internal::gPixels[kSurfaceWidth * kSurfaceHeight];  // zero: all black

namespace {

using surface_internal::gPixels;

constexpr Color kColorMask = 0xFFFFFF;

Color PenColor(StockPen pen) {
  return pen == StockPen::White ? 0xFFFFFF : 0x000000;
}

// --- Ellipse shapes -------------------------------------------------------
//
// An ellipse in a box of w x h pixels covers one unbroken run per row,
// mirror-symmetric in both directions. A shape is therefore fully described
// by the left offsets (from the box's left edge) of the rows of its top half,
// rows 0 .. (h - 1) / 2; row j and row h - 1 - j are equal, and the run of a
// row with left offset o is o .. w - 1 - o.

// Boxes up to this size trace the rectangle-ellipse exactly; larger ones
// (never drawn by the game, but any coordinates must be safe) use the
// analytic ellipse per row, so their cost does not grow with their size.
constexpr std::int64_t kTracedLimit = 1 << 14;

// Small shapes (every disc the game draws) are kept in a cache.
constexpr std::int64_t kCachedLimit = 256;
constexpr int kCacheSlots = 64;
constexpr int kCacheProbes = 4;

// The rows of a shape's top half: the left offset of each row's run, and the
// left offset of its fill (the pixels left once the rim is taken out; w for
// an all-rim row).
struct HalfRows {
  std::int32_t left[kCachedLimit / 2];
  std::int32_t fill[kCachedLimit / 2];
};

struct CachedShape {
  std::int32_t w = 0;  // 0: empty slot
  std::int32_t h = 0;
  HalfRows rows;
};

CachedShape gShapeCache[kCacheSlots];
std::int32_t gTracedHalf[kTracedLimit / 2];  // scratch for uncached traced shapes
std::int32_t gTracedFill[kTracedLimit / 2];

// Traces the integer rectangle-ellipse (the Bresenham-family algorithm that
// plots an ellipse inscribed in the inclusive box 0..w-1, 0..h-1) and keeps,
// for each top-half row, the leftmost plotted column. Each step decides both
// moves from the error before it: the x step only on e2 >= dx, without the
// usual second test against the updated y error, which would cut some rows
// short by a pixel at each end (boxes 9, 16, 23, 269 and 508 among the
// squares). All error terms stay below 2^53 for boxes up to kTracedLimit, so
// 64-bit arithmetic is exact.
void TraceHalfRuns(std::int64_t w, std::int64_t h, std::int32_t* half) {
  const std::int64_t rows = (h + 1) / 2;
  for (std::int64_t j = 0; j < rows; ++j) half[j] = static_cast<std::int32_t>(w);
  auto plot = [&](std::int64_t x, std::int64_t y) {
    if (y >= 0 && y < rows && x < half[y]) half[y] = static_cast<std::int32_t>(x);
  };

  const std::int64_t a = w - 1;
  const std::int64_t b = h - 1;
  const std::int64_t bOdd = b & 1;
  std::int64_t dx = 4 * (1 - a) * b * b;
  std::int64_t dy = 4 * (bOdd + 1) * a * a;
  std::int64_t err = dx + dy + bOdd * a * a;
  const std::int64_t stepY = 8 * a * a;
  const std::int64_t stepX = 8 * b * b;
  std::int64_t x0 = 0;
  std::int64_t x1 = a;
  std::int64_t y0 = (b + 1) / 2;  // lower half, moving down
  std::int64_t y1 = y0 - bOdd;    // upper half, moving up
  do {
    plot(x0, y1);
    const std::int64_t e2 = 2 * err;
    if (e2 <= dy) {
      ++y0;
      --y1;
      dy += stepY;
      err += dy;
    }
    // Every step moves: left of the middle column dx <= 0 < dy, so one test
    // holds; in the middle column the x test is the one already passed in the
    // column before, now with y no nearer the centre.
    if (e2 >= dx) {
      ++x0;
      --x1;
      dx += stepX;
      err += dx;
    }
  } while (x0 <= x1);
  // Narrow ellipses stop before reaching the top and bottom rows: finish
  // the tips with the centre column(s).
  while (y0 - y1 <= b) {
    plot(x0 - 1, y1);
    ++y0;
    --y1;
  }

  // Every row holds at least the centre pixel(s), whatever happened above.
  const std::int32_t maxOffset = static_cast<std::int32_t>((w - 1) / 2);
  for (std::int64_t j = 0; j < rows; ++j) half[j] = std::min(half[j], maxOffset);
}

// A pixel is rim when a neighbour left, right, above or below lies outside
// the shape: the fill of row k starts past its own rim and the runs of the
// rows next to it. Row k + 1 of the top half is mirrored below the middle.
void FillOffsets(std::int64_t w, std::int64_t h, const std::int32_t* left, std::int32_t* fill) {
  const std::int64_t rows = (h + 1) / 2;
  for (std::int64_t k = 0; k < rows; ++k) {
    if (k == 0) {
      fill[k] = static_cast<std::int32_t>(w);  // top and bottom rows are all rim
      continue;
    }
    const std::int64_t below = std::min(k + 1, h - 2 - k);
    fill[k] = std::max({left[k] + 1, left[k - 1], left[below]});
  }
}

const HalfRows& CachedRows(std::int32_t w, std::int32_t h) {
  // sizes spread over every slot, squares (the usual discs) included
  const unsigned hash =
      (static_cast<unsigned>(w) * 31u + static_cast<unsigned>(h) * 7u) % kCacheSlots;
  CachedShape* slot = nullptr;
  for (int probe = 0; probe < kCacheProbes; ++probe) {
    CachedShape& candidate = gShapeCache[(hash + probe) % kCacheSlots];
    if (candidate.w == w && candidate.h == h) return candidate.rows;
    if (candidate.w == 0) {
      slot = &candidate;
      break;
    }
  }
  if (slot == nullptr) slot = &gShapeCache[hash];  // all probed slots taken: replace
  TraceHalfRuns(w, h, slot->rows.left);
  FillOffsets(w, h, slot->rows.left, slot->rows.fill);
  slot->w = w;
  slot->h = h;
  return slot->rows;
}

// A shape's rows: from the cache or traced for a middling box; a huge box
// (null tables) has each row worked out on its own.
struct EllipseShape {
  std::int64_t w;
  std::int64_t h;
  const std::int32_t* left;  // null: rows by the centre rule
  const std::int32_t* fill;
};

EllipseShape MakeShape(std::int64_t w, std::int64_t h) {
  if (w <= kCachedLimit && h <= kCachedLimit) {
    const HalfRows& rows = CachedRows(static_cast<std::int32_t>(w), static_cast<std::int32_t>(h));
    return {w, h, rows.left, rows.fill};
  }
  if (w <= kTracedLimit && h <= kTracedLimit) {
    TraceHalfRuns(w, h, gTracedHalf);
    FillOffsets(w, h, gTracedHalf, gTracedFill);
    return {w, h, gTracedHalf, gTracedFill};
  }
  return {w, h, nullptr, nullptr};
}

// Left offset of top-half row k of a huge box: the first column whose pixel
// centre lies inside the ellipse inscribed in the box. In doubled
// coordinates about the centre, column c is inside when
// (w - 1 - 2c)^2 h^2 + (h - 1 - 2k)^2 w^2 <= w^2 h^2; every product stays
// below 2^128 for boxes of any int coordinates, so the test is exact. The
// columns inside form a run, found by halving.
std::int64_t CentreRuleRowLeft(std::int64_t w, std::int64_t h, std::int64_t k) {
  using Wide = unsigned __int128;
  const std::uint64_t dy = static_cast<std::uint64_t>(h - 1 - 2 * k);
  const Wide room =
      static_cast<Wide>(static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(w)) *
      (static_cast<Wide>(static_cast<std::uint64_t>(h)) * static_cast<std::uint64_t>(h) -
       static_cast<Wide>(dy) * dy);
  const auto inside = [&](std::int64_t c) {
    const Wide dxh = static_cast<Wide>(static_cast<std::uint64_t>(w - 1 - 2 * c)) *
                     static_cast<std::uint64_t>(h);
    return dxh * dxh <= room;
  };
  const std::int64_t maxOffset = (w - 1) / 2;
  std::int64_t lo = 0;
  std::int64_t hi = maxOffset;  // every row keeps its centre pixel(s)
  while (lo < hi) {
    const std::int64_t mid = lo + (hi - lo) / 2;
    if (inside(mid)) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

// Left offset of row j (0 <= j < h) of the shape.
std::int64_t RowLeft(const EllipseShape& s, std::int64_t j) {
  const std::int64_t k = std::min(j, s.h - 1 - j);
  return s.left != nullptr ? s.left[k] : CentreRuleRowLeft(s.w, s.h, k);
}

// Left offset of the fill of row j: w when the row is all rim.
std::int64_t RowFill(const EllipseShape& s, std::int64_t j) {
  if (s.fill != nullptr) return s.fill[std::min(j, s.h - 1 - j)];
  if (j == 0 || j == s.h - 1) return s.w;
  return std::max({RowLeft(s, j) + 1, RowLeft(s, j - 1), RowLeft(s, j + 1)});
}

// Fills the pixels x0..x1 of row y (already known to be on the surface),
// clipped to the surface's columns. The caller marks them touched, once for
// the whole shape: marking each row made a busy frame half again as slow.
void FillSpan(std::int64_t y, std::int64_t x0, std::int64_t x1, Color color) {
  x0 = std::max<std::int64_t>(x0, 0);
  x1 = std::min<std::int64_t>(x1, kSurfaceWidth - 1);
  if (x0 > x1) return;
  std::uint32_t* row = gPixels + y * kSurfaceWidth;
  std::fill(row + x0, row + x1 + 1, color);
}

}  // namespace

namespace surface_internal {

int EllipseRowLeft(int width, int height, int row) {
  if (width < 2 || height < 2 || row < 0 || row >= height) return -1;
  return static_cast<int>(RowLeft(MakeShape(width, height), row));
}

}  // namespace surface_internal

DeviceContext GetWindowDc() {
  return DeviceContext{};
}

void ReleaseWindowDc(DeviceContext&) {}

StockPen DcSelectPen(DeviceContext& dc, StockPen pen) {
  return std::exchange(dc.pen, pen);
}

Color DcSelectBrush(DeviceContext& dc, Color brushColor) {
  return std::exchange(dc.brush, brushColor);
}

Color DcSetTextColor(DeviceContext& dc, Color color) {
  return std::exchange(dc.textColor, color);
}

Color DcSetBkColor(DeviceContext& dc, Color color) {
  return std::exchange(dc.bkColor, color);
}

BkMode DcSetBkMode(DeviceContext& dc, BkMode mode) {
  return std::exchange(dc.bkMode, mode);
}

void DcSetPixel(DeviceContext&, int x, int y, Color color) {
  if (x < 0 || x >= kSurfaceWidth || y < 0 || y >= kSurfaceHeight) return;
  surface_internal::SetPixelMarked(x, y, color & kColorMask);
}

void DcMoveTo(DeviceContext& dc, int x, int y) {
  dc.currentX = x;
  dc.currentY = y;
}

void DcLineTo(DeviceContext& dc, int x, int y) {
  const std::int64_t x0 = dc.currentX;
  const std::int64_t y0 = dc.currentY;
  dc.currentX = x;
  dc.currentY = y;

  const std::int64_t dx = static_cast<std::int64_t>(x) - x0;
  const std::int64_t dy = static_cast<std::int64_t>(y) - y0;
  const std::int64_t adx = dx < 0 ? -dx : dx;
  const std::int64_t ady = dy < 0 ? -dy : dy;
  const std::int64_t n = std::max(adx, ady);  // pixels drawn; the end point is not
  if (n == 0) return;
  const Color color = PenColor(dc.pen);

  // Step i = 0 .. n-1 along the major axis; only the steps whose major
  // coordinate lies on the surface are visited.
  const bool alongX = adx >= ady;
  const std::int64_t major0 = alongX ? x0 : y0;
  const std::int64_t minor0 = alongX ? y0 : x0;
  const std::int64_t majorStep = (alongX ? dx : dy) > 0 ? 1 : -1;
  const std::int64_t minorDelta = alongX ? dy : dx;
  const std::int64_t majorLimit = (alongX ? kSurfaceWidth : kSurfaceHeight) - 1;
  const std::int64_t minorLimit = (alongX ? kSurfaceHeight : kSurfaceWidth) - 1;

  std::int64_t first = 0;
  std::int64_t last = n - 1;
  if (majorStep > 0) {
    first = std::max(first, -major0);
    last = std::min(last, majorLimit - major0);
  } else {
    first = std::max(first, major0 - majorLimit);
    last = std::min(last, major0);
  }
  if (first > last) return;

  // The minor coordinate of step i is minor0 + q(i), the nearest integer to
  // i * minorDelta / n with an exact half going to the smaller one:
  // q = ceil((2 i minorDelta - n) / 2n). It is kept as the quotient q and the
  // remainder rem = (2 i minorDelta - n) - 2n q, which stays in (-2n, 0].
  // Only the first visible step needs a division; |minorDelta| <= n, so each
  // further step moves q by at most one.
  const std::int64_t den = 2 * n;
  const std::int64_t remStep = 2 * minorDelta;
  const __int128 num = static_cast<__int128>(first) * remStep - n;
  __int128 q = num / den;  // truncated; the ceiling for num <= 0
  if (num > 0 && num % den != 0) ++q;
  std::int64_t minor = minor0 + static_cast<std::int64_t>(q);
  std::int64_t rem = static_cast<std::int64_t>(num - q * den);
  std::int64_t major = major0 + first * majorStep;
  for (std::int64_t i = first; i <= last; ++i) {
    if (minor >= 0 && minor <= minorLimit) {
      const std::int64_t px = alongX ? major : minor;
      const std::int64_t py = alongX ? minor : major;
      surface_internal::SetPixelMarked(px, py, color);
    }
    major += majorStep;
    rem += remStep;
    if (rem > 0) {
      ++minor;
      rem -= den;
    } else if (rem <= -den) {
      --minor;
      rem += den;
    }
  }
}

void DcEllipse(DeviceContext& dc, int left, int top, int right, int bottom) {
  const std::int64_t l = left;
  const std::int64_t t = top;
  const std::int64_t w = static_cast<std::int64_t>(right) - l;
  const std::int64_t h = static_cast<std::int64_t>(bottom) - t;
  if (w < 2 || h < 2) return;
  // Covered: columns l .. l+w-1, rows t .. t+h-1.
  if (l + w - 1 < 0 || l >= kSurfaceWidth) return;
  const std::int64_t yFirst = std::max<std::int64_t>(t, 0);
  const std::int64_t yLast = std::min<std::int64_t>(t + h - 1, kSurfaceHeight - 1);
  if (yFirst > yLast) return;

  // the box, once: the rows below stay within it
  surface_internal::MarkRectTouched(l, yFirst, l + w - 1, yLast);
  const EllipseShape shape = MakeShape(w, h);
  const Color pen = PenColor(dc.pen);
  const Color brush = dc.brush & kColorMask;
  const std::int64_t rightEdge = l + w - 1;
  for (std::int64_t y = yFirst; y <= yLast; ++y) {
    const std::int64_t j = y - t;
    const std::int64_t offset = RowLeft(shape, j);
    const std::int64_t inner = RowFill(shape, j);
    const std::int64_t runLo = l + offset;
    const std::int64_t runHi = rightEdge - offset;
    const std::int64_t fillLo = l + inner;
    const std::int64_t fillHi = rightEdge - inner;
    if (fillLo > fillHi) {
      FillSpan(y, runLo, runHi, pen);
    } else {
      FillSpan(y, runLo, fillLo - 1, pen);
      FillSpan(y, fillLo, fillHi, brush);
      FillSpan(y, fillHi + 1, runHi, pen);
    }
  }
}

void surface_internal::FillRect(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                                Color color) {
  y0 = std::max<std::int64_t>(y0, 0);
  y1 = std::min<std::int64_t>(y1, kSurfaceHeight - 1);
  MarkRectTouched(x0, y0, x1, y1);
  for (std::int64_t y = y0; y <= y1; ++y) FillSpan(y, x0, x1, color & kColorMask);
}

const std::uint32_t* SurfacePixels() {
  return gPixels;
}

void ClearSurface() {
  std::fill(std::begin(gPixels), std::end(gPixels), 0u);
  MarkSurfaceDirty();
}
