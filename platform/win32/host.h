// The Windows host: the main window, the paced main loop, the playfield
// shown at a whole-number scale, and the orderly ends of the program
// (confirmed close, end of the Windows session, console close events).
#pragma once

#include <windows.h>

namespace tavro_win32 {

constexpr wchar_t kWindowClass[] = L"TAVRO";
constexpr wchar_t kWindowTitle[] = L"TAVRO Ver.1.5";

HINSTANCE InstanceHandle();
HWND MainWindowHandle();

// The whole program: start-up, main loop, exit code.
int RunProgram(HINSTANCE instance, int showCommand);

}  // namespace tavro_win32
