// The explosion step: every explosion grows or shrinks by one stage and
// strikes the falling rocks it touches.
#pragma once

#include "surface/surface.h"

void UpdateExplosions(DeviceContext& dc);

// Takes the first free explosion slot; returns false when none is free.
bool AddExplosion(int x, int y, int chain, int lethal);

// A disc of centre (x, y) and radius r in the given colour, rimmed by the
// context's current pen.
void DrawDisc(DeviceContext& dc, int x, int y, int r, Color color);
