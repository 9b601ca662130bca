#include "draw/text.h"

#include <cstdarg>
#include <cstdio>

void DrawFormatted(DeviceContext& dc, int x, int y, const char* format, ...) {
  char text[64];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  DcTextOut(dc, x, y, text, ClampedLength(length, sizeof text));
}

void DrawPopupText(DeviceContext& dc, const ScorePopup& popup) {
  DrawFormatted(dc, popup.x, popup.y, "%4d", popup.points);
}
