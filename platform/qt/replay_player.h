// How the desktop window shows a replay played back (replay/player.h): the
// title says what it does, and the end is shown.
#pragma once

#include "replay/player.h"

namespace tavro_qt {

// Makes the window follow the playback's state; call before
// StartReplayPlayback.
void ShowPlaybackInWindow();

}  // namespace tavro_qt
