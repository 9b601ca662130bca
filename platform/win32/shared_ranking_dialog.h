// The shared ranking dialog: modeless, owned by the main window. It shows
// SharedRankingView() (the online choices, the three rankings in tabs, the
// newest outcome of a sent replay) and turns the player's actions into the
// session's calls. PlatformShowSharedRanking and
// PlatformSharedRankingChanged (host/network.h) open and refresh it.
#pragma once

#include <windows.h>

#include <string>

namespace tavro_win32 {

// The main loop's part: true when msg was the open dialog's and is done
// (its keyboard navigation: Tab, Enter, Escape).
bool SharedRankingDialogMessage(MSG* msg);

// What the dialog last showed, read back from its controls, and how many
// of its texts did not fit: lines for the frame log (a measuring aid).
std::string SharedRankingDialogLog();

}  // namespace tavro_win32
