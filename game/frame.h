// One frame of play or of the demo.
#pragma once

#include "surface/surface.h"

int PlayFrame();
int DemoFrame();
// The saucer: a black disc with a white rim.
void DrawUfoOutline(DeviceContext& dc);
