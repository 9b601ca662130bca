// Helpers shared by the surface's own source files (and its tests).
#pragma once

#include <cstdint>

#include "surface/surface.h"

namespace surface_internal {

// Fills the rectangle x0..x1, y0..y1 (inclusive), clipped to the surface.
void FillRect(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, Color color);

// Sets one pixel when it lies on the surface; the caller marks it touched
// (MarkDirty), once for all the pixels of a shape.
void PutPixel(std::int64_t x, std::int64_t y, Color color);

// Notes the rectangle x0..x1, y0..y1 (inclusive, clipped here) as touched
// by the drawing (surface/dirty_region.h).
void MarkDirty(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1);

// Offset from the box's left edge of the first covered column in the given
// row of the ellipse in a width x height box; -1 when nothing is drawn.
int EllipseRowLeft(int width, int height, int row);

}  // namespace surface_internal
