// The whole playfield drawn from the world state, and the status line.
#pragma once

#include "surface/surface.h"
#include "world/world.h"

void RepaintAll();
void DrawStatusLine(DeviceContext& dc);
// A colour from three draws: blue, green and red from their low 8 bits.
Color RandomTextColor();
