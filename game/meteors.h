// The rock step: erase, break, destroy, move, land and draw every rock.
#pragma once

#include "platform/surface/surface.h"

void UpdateMeteors(DeviceContext& dc);
