// The named mutex that marks a running copy of the program.
#include <windows.h>

#include "host/mixer.h"
#include "host/named_mutex.h"

namespace {

HANDLE namedMutex = nullptr;

}  // namespace

bool PlatformHoldNamedMutex(const char* name) {
  PlatformReleaseNamedMutex();
  wchar_t wide[64];
  if (MultiByteToWideChar(CP_UTF8, 0, name, -1, wide, 64) == 0) return false;
  // Default security, not owned; one of that name from another copy is
  // opened instead.
  namedMutex = CreateMutexW(nullptr, FALSE, wide);
  return namedMutex != nullptr;
}

void PlatformReleaseNamedMutex() {
  if (namedMutex != nullptr) CloseHandle(namedMutex);
  namedMutex = nullptr;
}
