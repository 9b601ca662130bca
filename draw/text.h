// Small text helpers shared by the drawing routines.
#pragma once

#include <cstddef>

#include "surface/surface.h"
#include "world/world.h"

// The length snprintf reports, kept within the buffer it wrote.
inline int ClampedLength(int length, std::size_t capacity) {
  if (length < 0) return 0;
  const int limit = static_cast<int>(capacity) - 1;
  return length > limit ? limit : length;
}

#if defined(__GNUC__)
#define TAVRO_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define TAVRO_PRINTF_FORMAT(f, a)
#endif

// Writes a formatted text at (x, y).
void DrawFormatted(DeviceContext& dc, int x, int y, const char* format, ...)
    TAVRO_PRINTF_FORMAT(4, 5);

// A popup's points with "%4d" at its position.
void DrawPopupText(DeviceContext& dc, const ScorePopup& popup);
