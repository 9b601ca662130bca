// What the drawing touched since the surface was last shown: a host shows
// only these rectangles instead of the whole frame. The surface is kept in
// tiles of 8 x 8 pixels; a frame's region is made of the runs of touched
// tiles in each row of tiles, a run joined with the one below it when both
// span the same columns. Past kMaxDirtyRects rectangles, or when they would
// cover most of the surface, the region is the whole surface.
#pragma once

#include "surface/surface.h"

struct SurfaceRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

constexpr int kDirtyTileSide = 8;
constexpr int kMaxDirtyRects = 512;

struct DirtyRegion {
  bool whole = false;  // the whole surface (rects[0] is it)
  int count = 0;       // 0: nothing was drawn
  SurfaceRect rects[kMaxDirtyRects];
  // Pixels the rectangles cover.
  int Pixels() const;
};

// Takes the region touched since the last take, and starts a new one. A
// host for which each rectangle costs much asks for at most `mostRects`:
// past that, the region is made of bands of whole rows of tiles, each
// across the columns touched in it, neighbouring bands joined where that
// adds least.
void TakeDirtyRegion(DirtyRegion* region, int mostRects = kMaxDirtyRects);
// The same for a region already taken, in place.
void LimitDirtyRegion(DirtyRegion* region, int mostRects);
// Marks the whole surface touched (a host's own full repaint needs no mark:
// it shows the whole surface anyway).
void MarkSurfaceDirty();
