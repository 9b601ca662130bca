// How the Windows program's window shows a replay played back
// (replay/player.h): the title says what it does.
#pragma once

#include "replay/player.h"

namespace tavro_win32 {

// Makes the window's title follow the playback's state; call before
// StartReplayPlayback.
void ShowPlaybackInWindow();

}  // namespace tavro_win32
