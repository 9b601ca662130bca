// The steps of a frame that move the world (app/frame.h puts them in order):
// the stars, the saucer, the ground line and the level's end.
#pragma once

#include "surface/surface.h"

// Scrolls the stars down, each erased and redrawn above the ground line.
void MoveStars(DeviceContext& dc);
// Now and then starts the saucer from level 7 on.
void MaybeStartUfo();
// Moves the saucer one pixel, dropping a rock now and then.
void MoveUfo(DeviceContext& dc);
// Redraws the ground line, raising it back in play while it recovers.
void DrawGround(DeviceContext& dc, bool play);
// The next level: the top band cleared, a larger reserve and a new wave.
void AdvanceLevel(bool play);
// The saucer: a black disc with a white rim.
void DrawUfoOutline(DeviceContext& dc);
