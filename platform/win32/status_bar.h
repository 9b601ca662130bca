// The status bar under the playfield: the outcome of a sent replay, the
// playback keys during a replay, and the menu items' hints while a menu is
// open (the first line of each command's string in the resources).
#pragma once

#include <windows.h>

#include <string>

namespace tavro_win32 {

// Makes the bar at the bottom of parent's client area.
void CreateStatusBar(HWND parent);
// Its height in pixels (0 without a bar).
int StatusBarHeight();
// The parent's client area changed size.
void ResizeStatusBar();

// The line shown while no menu is open.
void SetStatusLine(const std::wstring& text);
// WM_MENUSELECT and WM_EXITMENULOOP of the parent.
void ShowMenuHint(WPARAM wParam, LPARAM lParam);
void EndMenuHint();

// The bar's text as the control holds it, read now; after KeepStatusText,
// the text it held then (a measuring aid for the frame log).
std::string StatusText();
void KeepStatusText();

}  // namespace tavro_win32
