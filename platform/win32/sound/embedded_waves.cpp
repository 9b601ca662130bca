// The embedded effect files are the program's WAVE resources.
#include <windows.h>

#include "host/embedded_waves.h"
#include "platform/win32/host.h"

WaveResource FindEmbeddedWave(int resourceId) {
  HMODULE module = tavro_win32::InstanceHandle();
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resourceId), L"WAVE");
  if (found == nullptr) return {nullptr, 0};
  HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  const DWORD size = SizeofResource(module, found);
  if (data == nullptr || size == 0) return {nullptr, 0};
  return {static_cast<const unsigned char*>(data), size};
}
