// The diagnostic hook: messages are formatted only when someone listens.
#include <cstdarg>
#include <cstdio>

#include "sound/wav.h"

namespace {
DebugLogCapture Capture = nullptr;
}

void SetDebugLogCapture(DebugLogCapture capture) {
  Capture = capture;
}

void DebugLog(const char* format, ...) {
#ifdef NDEBUG
  if (Capture == nullptr) return;
#endif
  char message[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  if (Capture != nullptr) {
    Capture(message);
  } else {
    std::fputs(message, stderr);
  }
}
