// The named mutex that marks a running copy of the program.
#include <windows.h>

#include "sound/mixer.h"

namespace {

HANDLE namedMutex = nullptr;

}  // namespace

bool MixerCreateMutex(const char* name) {
  MixerCloseMutex();
  wchar_t wide[64];
  if (MultiByteToWideChar(CP_UTF8, 0, name, -1, wide, 64) == 0) return false;
  // Default security, not owned; one of that name from another copy is
  // opened instead.
  namedMutex = CreateMutexW(nullptr, FALSE, wide);
  return namedMutex != nullptr;
}

void MixerCloseMutex() {
  if (namedMutex != nullptr) CloseHandle(namedMutex);
  namedMutex = nullptr;
}
