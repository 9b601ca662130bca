#include "platform/win32/playfield_scale.h"

#include "surface/surface.h"

namespace tavro_win32 {

int ChooseScale(int workWidth, int workHeight, int chromeWidth, int chromeHeight) {
  int scale = 1;
  while (scale < 64 && kSurfaceWidth * (scale + 1) + chromeWidth <= workWidth &&
         kSurfaceHeight * (scale + 1) + chromeHeight <= workHeight) {
    scale++;
  }
  return scale;
}

int GameCoordinate(int client, int scale) {
  return client >= 0 ? client / scale : -((-client + scale - 1) / scale);
}

}  // namespace tavro_win32
