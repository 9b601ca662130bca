// A recorded session played back in the window: the events of each frame are
// delivered before it, as the runner does, one frame per tick; the frames
// before a chosen game run at full speed without being shown or heard.
#pragma once

#include <string>
#include <vector>

#include "replay/script.h"

namespace tavro_win32 {

struct ReplaySession {
  std::vector<ScriptEvent> events;
  ScriptHeader header;
  long long fastForwardTo = 0;  // frames before this one run unseen (0: none)
};

// Reads, parses and checks a replay file (UTF-8 path); fromGame (1-based, 0:
// from the beginning) picks the game to jump to. False with a message.
bool LoadReplayFile(const std::string& path, int fromGame, ReplaySession* session,
                    std::string* error);

// Before StartUp: boxes answered from the replay, its settings loaded, no
// settings file read or written.
void BeginWindowPlayback(const ReplaySession& session);
// After StartUp: recording off, the events of frame 0 delivered.
void StartWindowPlayback();

bool PlaybackFastForwarding();
bool PlaybackFinished();

// Delivers the next frame's events and runs it; false once the replay has
// ended (at its exit, which is not delivered, or after its last event).
bool PlaybackFrame();
// Runs unseen frames of the jump for about `milliseconds`; false when the
// jump is over.
bool FastForwardFor(int milliseconds);

}  // namespace tavro_win32
