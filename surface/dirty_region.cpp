#include "surface/dirty_region.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "surface/surface_internal.h"

std::uint64_t surface_internal::gTouchedTiles[kSurfaceHeight / kDirtyTileSide];

namespace {

constexpr int kTileColumns = kSurfaceWidth / kDirtyTileSide;  // 64: one bit each
constexpr int kTileRows = kSurfaceHeight / kDirtyTileSide;

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

void MarkSurfaceDirty() {
  std::fill(std::begin(surface_internal::gTouchedTiles), std::end(surface_internal::gTouchedTiles),
            ~0ull);
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
    std::uint64_t bits = surface_internal::gTouchedTiles[r];
    surface_internal::gTouchedTiles[r] = 0;
    if (overflow) continue;
    int reaching[kTileColumns / 2 + 1];
    int reachingCount = 0;
    int nextAbove = 0;
    while (bits != 0) {
      const int start = __builtin_ctzll(bits);
      const std::uint64_t fromStart = bits >> start;
      const int length = ~fromStart == 0 ? 64 - start : __builtin_ctzll(~fromStart);
      bits = start + length >= 64 ? 0 : bits & (~0ull << (start + length));
      const SurfaceRect run{start * kDirtyTileSide, r * kDirtyTileSide, length * kDirtyTileSide,
                            kDirtyTileSide};
      covered += run.width * run.height;
      // the same columns in the row above: that rectangle grows down (the
      // runs of both rows go left to right, so one pass finds them)
      int index = -1;
      while (nextAbove < openCount && region->rects[open[nextAbove]].x < run.x) ++nextAbove;
      if (nextAbove < openCount && region->rects[open[nextAbove]].x == run.x &&
          region->rects[open[nextAbove]].width == run.width) {
        index = open[nextAbove];
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
