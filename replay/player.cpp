#include "replay/player.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "app/window_proc.h"
#include "host/files.h"
#include "host/mixer.h"
#include "records/settings.h"
#include "replay/playback.h"
#include "replay/recorder.h"

namespace {

ReplaySession session;
std::size_t next = 0;
long long played = 0;
bool finished = false;
bool fastForwarding = false;
void (*stateListener)(PlaybackState) = nullptr;

// The jump to a later game is silent.
void Tell(PlaybackState state) {
  MixerSetMuted(state == PlaybackState::Jumping);
  if (stateListener != nullptr) stateListener(state);
}

const char* WhyNotOpened(OpenFailure failure) {
  switch (failure) {
    case OpenFailure::Missing:
      return "no such file";
    case OpenFailure::NotRegular:
      return "not a regular file";
    case OpenFailure::TooLarge:
      return "larger than 256 MiB";
    default:
      return "cannot be read";
  }
}

void Finish() {
  finished = true;
  fastForwarding = false;
  Tell(PlaybackState::Ended);
}

// Delivers the events stamped with `frame`; false when the next one is the
// replay's exit.
bool DeliverEventsOf(long long frame) {
  while (next < session.events.size() && session.events[next].frame == frame) {
    if (session.events[next].command == "exit") return false;
    DeliverScriptEvent(session.events[next++]);
  }
  return true;
}

void EndJumpIfDone() {
  if (fastForwarding && played + 1 >= session.fastForwardTo) {
    fastForwarding = false;
    if (!finished) Tell(PlaybackState::Playing);
  }
}

}  // namespace

bool LoadReplayFile(const std::string& path, int fromGame, ReplaySession* out, std::string* error) {
  std::string text;
  const OpenFailure failure = ReadWholeFile(path.c_str(), kMaxReplayBytes, &text);
  if (failure != OpenFailure::None) {
    *error = WhyNotOpened(failure);
    return false;
  }
  ReplaySession loaded;
  // Anything else is named as such before its lines are looked at.
  if (text.rfind(kReplayMagic, 0) != 0) {
    CheckReplayHeader(ScriptHeader(), *error);
    return false;
  }
  if (!ParseScript(text, loaded.events, loaded.header, *error) ||
      !CheckReplayHeader(loaded.header, *error)) {
    return false;
  }
  if (fromGame > 0) {
    int starts = 0;
    for (const ScriptEvent& e : loaded.events) {
      if (e.command == "start" && ++starts == fromGame) {
        loaded.fastForwardTo = e.frame;
        break;
      }
    }
    if (starts < fromGame) {
      *error = "the replay has " + std::to_string(starts) + " game(s), no game " +
               std::to_string(fromGame);
      return false;
    }
  }
  *out = std::move(loaded);
  return true;
}

void SetPlaybackStateListener(void (*listener)(PlaybackState state)) {
  stateListener = listener;
}

void BeginReplayPlayback(const ReplaySession& loaded) {
  session = loaded;
  next = 0;
  played = 0;
  finished = false;
  fastForwarding = false;
  PlaybackBegin();
  PlaybackSetSettingsText(&session.header.settingsText);
  SetSettingsFilePath("");
}

void StartReplayPlayback() {
  PlaybackSetSettingsText(nullptr);
  ReplaySetRecording(false);
  fastForwarding = session.fastForwardTo > 1;
  Tell(fastForwarding ? PlaybackState::Jumping : PlaybackState::Playing);
  if (!DeliverEventsOf(0) || next >= session.events.size()) Finish();
}

bool PlaybackFastForwarding() {
  return fastForwarding;
}

bool PlaybackFinished() {
  return finished;
}

long long PlaybackFramesRun() {
  return played;
}

bool PlaybackFrame() {
  if (finished) return false;
  if (!DeliverEventsOf(played + 1)) {
    Finish();
    return false;
  }
  RunFrame();
  ++played;
  EndJumpIfDone();
  if (next >= session.events.size()) Finish();
  return true;
}

bool FastForwardFor(int milliseconds) {
  const auto start = std::chrono::steady_clock::now();
  while (fastForwarding && !finished &&
         std::chrono::steady_clock::now() - start < std::chrono::milliseconds(milliseconds)) {
    PlaybackFrame();
  }
  return fastForwarding && !finished;
}
