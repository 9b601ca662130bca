// The demo's overlay and the floating score numbers.
#pragma once

#include "surface/surface.h"

void DrawAttractScreen(DeviceContext& dc);
void UpdateScorePopups(DeviceContext& dc);
