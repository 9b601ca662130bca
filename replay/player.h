// A recorded session played back in a window: the events of each frame are
// delivered before it, as the runner does, one frame per tick; the frames
// before a chosen game run at full speed without being shown or heard.
#pragma once

#include <string>
#include <vector>

#include "replay/script.h"

// Replays larger than this are refused unread.
constexpr unsigned long long kMaxReplayBytes = 256ull << 20;

struct ReplaySession {
  std::vector<ScriptEvent> events;
  ScriptHeader header;
  // Frames 1 .. fastForwardTo - 1 run unseen (0: none).
  long long fastForwardTo = 0;
};

// Reads, parses and checks a replay file (UTF-8 path); fromGame (1-based, 0:
// from the beginning) picks the game to jump to. False with a message.
bool LoadReplayFile(const std::string& path, int fromGame, ReplaySession* session,
                    std::string* error);

// What the window shows of the playback, told to the host when it changes.
enum class PlaybackState { Playing, Jumping, Ended };
void SetPlaybackStateListener(void (*listener)(PlaybackState state));

// Before StartUp: the boxes take their answers from the replay, start-up
// loads the replay's settings, and no settings file is read or written.
void BeginReplayPlayback(const ReplaySession& session);
// After StartUp: recording off, the events of frame 0 delivered.
void StartReplayPlayback();

// Whether the frames before the chosen game are still being run.
bool PlaybackFastForwarding();
// Whether the replay has reached its end (the window shows its last frame).
bool PlaybackFinished();
// Frames the playback has run.
long long PlaybackFramesRun();

// Delivers the events of the next frame and runs it; false (nothing run)
// once the replay has ended. The end is the replay's exit, which is not
// delivered, or the frame of its last event.
bool PlaybackFrame();
// Runs unseen frames of the jump for about `milliseconds`; false when the
// jump is over.
bool FastForwardFor(int milliseconds);
