#include "surface/dirty_region.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "surface/surface_internal.h"

namespace {

constexpr int kTileColumns = kSurfaceWidth / kDirtyTileSide;  // 64: one bit each
constexpr int kTileRows = kSurfaceHeight / kDirtyTileSide;
static_assert(kTileColumns == 64, "a row of tiles is one 64-bit mask");

std::uint64_t gTouched[kTileRows];  // bit c of row r: tile (c, r) touched

// A region covering more than this share of the surface is shown whole:
// one transfer costs less than many that move nearly as much.
constexpr int kWholeShareNumerator = 3;
constexpr int kWholeShareDenominator = 4;

void MakeWhole(DirtyRegion* region) {
  region->whole = true;
  region->count = 1;
  region->rects[0] = {0, 0, kSurfaceWidth, kSurfaceHeight};
}

}  // namespace

void surface_internal::MarkDirty(std::int64_t x0, std::int64_t y0, std::int64_t x1,
                                 std::int64_t y1) {
  x0 = std::max<std::int64_t>(x0, 0);
  y0 = std::max<std::int64_t>(y0, 0);
  x1 = std::min<std::int64_t>(x1, kSurfaceWidth - 1);
  y1 = std::min<std::int64_t>(y1, kSurfaceHeight - 1);
  if (x0 > x1 || y0 > y1) return;
  const int c0 = static_cast<int>(x0 / kDirtyTileSide);
  const int c1 = static_cast<int>(x1 / kDirtyTileSide);
  const std::uint64_t upToC1 = c1 == 63 ? ~0ull : (1ull << (c1 + 1)) - 1;
  const std::uint64_t mask = upToC1 & ~((1ull << c0) - 1);
  for (std::int64_t r = y0 / kDirtyTileSide; r <= y1 / kDirtyTileSide; ++r) gTouched[r] |= mask;
}

void MarkSurfaceDirty() {
  std::fill(std::begin(gTouched), std::end(gTouched), ~0ull);
}

int DirtyRegion::Pixels() const {
  int pixels = 0;
  for (int i = 0; i < count; ++i) pixels += rects[i].width * rects[i].height;
  return pixels;
}

void TakeDirtyRegion(DirtyRegion* region) {
  region->whole = false;
  region->count = 0;
  int covered = 0;
  // The rectangles that reach down to the row of tiles being read.
  int open[kTileColumns / 2 + 1];
  int openCount = 0;
  bool overflow = false;
  for (int r = 0; r < kTileRows; ++r) {
    std::uint64_t bits = gTouched[r];
    gTouched[r] = 0;
    if (overflow) continue;
    int reaching[kTileColumns / 2 + 1];
    int reachingCount = 0;
    while (bits != 0) {
      const int start = __builtin_ctzll(bits);
      const std::uint64_t fromStart = bits >> start;
      const int length = ~fromStart == 0 ? 64 - start : __builtin_ctzll(~fromStart);
      bits = start + length >= 64 ? 0 : bits & (~0ull << (start + length));
      const SurfaceRect run{start * kDirtyTileSide, r * kDirtyTileSide, length * kDirtyTileSide,
                            kDirtyTileSide};
      covered += run.width * run.height;
      // the same columns in the row above: that rectangle grows down
      int index = -1;
      for (int i = 0; i < openCount; ++i) {
        const SurfaceRect& above = region->rects[open[i]];
        if (above.x == run.x && above.width == run.width) index = open[i];
      }
      if (index >= 0) {
        region->rects[index].height += kDirtyTileSide;
      } else if (region->count == kMaxDirtyRects) {
        overflow = true;
        break;
      } else {
        index = region->count++;
        region->rects[index] = run;
      }
      reaching[reachingCount++] = index;
    }
    std::copy(reaching, reaching + reachingCount, open);
    openCount = reachingCount;
  }
  if (overflow ||
      covered * kWholeShareDenominator > kSurfaceWidth * kSurfaceHeight * kWholeShareNumerator) {
    MakeWhole(region);
  }
}
