// The about and name-entry dialogs from the program's resources, and the
// centring of a window over its owner.
#pragma once

#include <windows.h>

#include <string>

namespace tavro_win32 {

// Centres window over reference (null: its owner) and keeps it on that
// monitor. Returns 0, moving nothing, when there is no reference window.
int CenterWindow(HWND window, HWND reference);

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// How many of the about dialog's texts did not fit when it was last shown;
// -1 before it is shown (a measuring aid).
int AboutTextsCut();
INT_PTR CALLBACK NameEntryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Runs the name-entry dialog owned by owner. True when it was closed through
// the dialog, with the typed text in UTF-8.
bool RunNameEntryDialog(HWND owner, std::string* name);

// Ends the program's open dialog or message box, if any: confirmations as
// Cancel, the dialogs as OK (a typed name is kept).
void CloseOpenBoxes();

// The session ends with the name-entry dialog open: the text typed so far
// names the new row now (SessionKeepTypedName), as the dialog may not return
// before the program is gone. Nothing when the dialog is not open.
void KeepNameBeingTyped();

}  // namespace tavro_win32
