// Helpers shared by the surface's own source files (and its tests).
#pragma once

#include <cstdint>

#include "surface/dirty_region.h"
#include "surface/surface.h"

namespace surface_internal {

// Fills the rectangle x0..x1, y0..y1 (inclusive), clipped to the surface.
void FillRect(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, Color color);

// The pixels of the surface, row after row.
extern std::uint32_t gPixels[kSurfaceWidth * kSurfaceHeight];

// The tiles that the drawing changed since the region was last taken: bit c
// of gTouchedTiles[r] is the tile in column c and row r of tiles.
constexpr int kTileShift = 3;
static_assert(1 << kTileShift == kDirtyTileSide);
static_assert(kSurfaceWidth >> kTileShift == 64, "a row of tiles is one 64-bit mask");
extern std::uint64_t gTouchedTiles[kSurfaceHeight >> kTileShift];

// The mask of tile columns c0..c1 (0 <= c0 <= c1 < 64) in a row of tiles.
inline std::uint64_t TileColumns(int c0, int c1) {
  const std::uint64_t upToC1 = c1 == 63 ? ~0ull : (1ull << (c1 + 1)) - 1;
  return upToC1 & ~((1ull << c0) - 1);
}

// Marks the rectangle x0..x1, y0..y1 (inclusive, clipped here) touched.
inline void MarkRectTouched(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
  x0 = x0 < 0 ? 0 : x0;
  y0 = y0 < 0 ? 0 : y0;
  x1 = x1 >= kSurfaceWidth ? kSurfaceWidth - 1 : x1;
  y1 = y1 >= kSurfaceHeight ? kSurfaceHeight - 1 : y1;
  if (x0 > x1 || y0 > y1) return;
  const std::uint64_t columns =
      TileColumns(static_cast<int>(x0 >> kTileShift), static_cast<int>(x1 >> kTileShift));
  for (std::int64_t r = y0 >> kTileShift; r <= y1 >> kTileShift; ++r) gTouchedTiles[r] |= columns;
}

// Sets the pixel x, y (on the surface) and marks it when it changes.
inline void SetPixelMarked(std::int64_t x, std::int64_t y, Color color) {
  std::uint32_t& pixel = gPixels[y * kSurfaceWidth + x];
  if (pixel == color) return;
  pixel = color;
  gTouchedTiles[y >> kTileShift] |= 1ull << (x >> kTileShift);
}

// Offset from the box's left edge of the first covered column in the given
// row of the ellipse in a width x height box; -1 when nothing is drawn.
int EllipseRowLeft(int width, int height, int row);

}  // namespace surface_internal
