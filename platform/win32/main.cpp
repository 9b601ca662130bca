// Tavro.exe: the game on Windows.
#include <windows.h>

#include "platform/win32/host.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  return tavro_win32::RunProgram(instance, showCommand);
}
