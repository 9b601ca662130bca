// The whole playfield drawn from the world state, and the status line.
#pragma once

#include "game/world.h"
#include "surface/surface.h"

void RepaintAll();
void DrawStatusLine(DeviceContext& dc);
// A colour from three draws: blue, green and red from their low 8 bits.
Color RandomTextColor();
