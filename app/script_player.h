// Scripted events delivered before their frames, for the runner, for a
// replay watched in a window and for the page's test hook. The events of
// frame F are delivered after frame F-1 and before frame F, those of frame 0
// right after start-up; the boxes take their answers from the script. A
// replay can jump unseen to a later game.
#pragma once

#include <string>
#include <vector>

#include "replay/replay_file.h"
#include "replay/script.h"

enum class DeliveryResult { Continue, Dump, Exit };

// Delivers one event to the window procedure's logic, with playback answers
// for the boxes. `dump` is left to the caller.
DeliveryResult DeliverScriptEvent(const ScriptEvent& event);

// How a script ends.
enum class ScriptEnd {
  // The runner's: every event is delivered, an exit closes the program with
  // the script's answer, and the frames go on as long as the caller runs them.
  Runner,
  // A replay's: it ends before its exit event, which is not delivered, or
  // after the frame of its last event.
  Replay,
};

// Before StartUp: the boxes take their answers from the script, and start-up
// loads settingsText (null: the settings file's).
void BeginScriptPlayback(const std::vector<ScriptEvent>& events, ScriptEnd end,
                         const std::string* settingsText);
// Before StartUp, for a replay watched: from the replay's settings, no
// settings file read or written, frames before session.fastForwardTo unseen.
void BeginReplayPlayback(const ReplaySession& session);
// After StartUp: recording off, the events of frame 0 delivered.
void StartReplayPlayback();
// Told of every event delivered (the runner's dumps and posted closes).
void SetScriptEventListener(void (*listener)(DeliveryResult result));

// Whether the frames before the chosen game are still being run.
bool PlaybackFastForwarding();
// Whether the script has reached its end (for a replay, the window shows its
// last frame) or closed the program.
bool PlaybackFinished();
// Frames the playback has run.
long long PlaybackFramesRun();

// Delivers the events of the next frame and runs it; false (nothing run)
// once the script has ended.
bool PlaybackFrame();
// Runs unseen frames of the jump for about `milliseconds`; false when the
// jump is over.
bool FastForwardFor(int milliseconds);
// A replay's jump, unseen and silent, to the start of the game after the
// frames played; false when no game starts after them.
bool PlaybackJumpToNextGame();
