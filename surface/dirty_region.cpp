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

namespace {

// Rows of tiles first..last, shown as one rectangle across the columns from
// the leftmost to the rightmost touched in any of them.
struct Band {
  int first;
  int last;
  std::uint64_t columns;
  int Area() const {
    return (last - first + 1) * (64 - __builtin_clzll(columns) - __builtin_ctzll(columns));
  }
};

// The band from a's first row to b's last, across the columns of both.
Band Joined(const Band& a, const Band& b) {
  return {a.first, b.last, a.columns | b.columns};
}

// The region as at most `most` bands: neighbouring bands are joined, those
// that add the fewest untouched tiles first.
void MakeBands(const std::uint64_t* rows, int most, DirtyRegion* region) {
  Band bands[kTileRows];
  int count = 0;
  for (int r = 0; r < kTileRows; ++r) {
    if (rows[r] != 0) bands[count++] = {r, r, rows[r]};
  }
  if (most == 1 && count > 1) {
    // one band: the box that bounds them all
    for (int i = 1; i < count; ++i) bands[0] = Joined(bands[0], bands[i]);
    count = 1;
  }
  while (count > most) {
    int best = 0;
    int bestAdded = 0;
    for (int i = 0; i + 1 < count; ++i) {
      const int added =
          Joined(bands[i], bands[i + 1]).Area() - bands[i].Area() - bands[i + 1].Area();
      if (i == 0 || added < bestAdded) {
        best = i;
        bestAdded = added;
      }
    }
    bands[best] = Joined(bands[best], bands[best + 1]);
    std::copy(bands + best + 2, bands + count, bands + best + 1);
    --count;
  }
  region->count = count;
  for (int i = 0; i < count; ++i) {
    const int left = __builtin_ctzll(bands[i].columns);
    const int right = 63 - __builtin_clzll(bands[i].columns);
    region->rects[i] = {left * kDirtyTileSide, bands[i].first * kDirtyTileSide,
                        (right - left + 1) * kDirtyTileSide,
                        (bands[i].last - bands[i].first + 1) * kDirtyTileSide};
  }
}

}  // namespace

void TakeDirtyRegion(DirtyRegion* region, int mostRects) {
  std::uint64_t rows[kTileRows];
  std::copy(std::begin(surface_internal::gTouchedTiles), std::end(surface_internal::gTouchedTiles),
            rows);
  std::fill(std::begin(surface_internal::gTouchedTiles), std::end(surface_internal::gTouchedTiles),
            0);
  region->whole = false;
  region->count = 0;
  int covered = 0;
  // The rectangles that reach down to the row of tiles being read.
  int open[kTileColumns / 2 + 1];
  int openCount = 0;
  bool overflow = false;
  for (int r = 0; r < kTileRows; ++r) {
    if (overflow) break;
    std::uint64_t bits = rows[r];
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
  LimitDirtyRegion(region, mostRects);
}

void LimitDirtyRegion(DirtyRegion* region, int mostRects) {
  mostRects = std::clamp(mostRects, 1, kMaxDirtyRects);
  if (region->whole || region->count <= mostRects) return;
  std::uint64_t rows[kTileRows] = {};
  for (int i = 0; i < region->count; ++i) {
    const SurfaceRect& r = region->rects[i];
    const std::uint64_t columns =
        surface_internal::TileColumns(r.x / kDirtyTileSide, (r.x + r.width) / kDirtyTileSide - 1);
    for (int row = r.y / kDirtyTileSide; row < (r.y + r.height) / kDirtyTileSide; ++row) {
      rows[row] |= columns;
    }
  }
  MakeBands(rows, mostRects, region);
  if (region->Pixels() * kWholeShareDenominator >
      kSurfaceWidth * kSurfaceHeight * kWholeShareNumerator) {
    MakeWhole(region);
  }
}
