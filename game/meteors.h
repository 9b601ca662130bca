// The rock step: erase, break, destroy, move, land and draw every rock.
#pragma once

#include "surface/surface.h"

void UpdateMeteors(DeviceContext& dc);
