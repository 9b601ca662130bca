#include "app/script_player.h"

#include <chrono>

#include "app/session.h"
#include "app/window_proc.h"
#include "draw/repaint.h"
#include "game/flow.h"
#include "host/mixer.h"
#include "records/settings.h"
#include "replay/playback.h"
#include "replay/recorder.h"

namespace {

std::vector<ScriptEvent> events;
ScriptEnd end = ScriptEnd::Replay;
long long fastForwardTo = 0;
std::size_t next = 0;
long long played = 0;
bool finished = false;
bool fastForwarding = false;
void (*eventListener)(DeliveryResult) = nullptr;

// A replay's jump to a later game is silent and unseen.
void Tell(PlaybackState state) {
  if (end == ScriptEnd::Replay) {
    const bool jumping = state == PlaybackState::Jumping;
    MixerSetMuted(jumping);
    SetShowPausesSkipped(jumping);
  }
  SessionPlaybackChanged(state);
}

void Finish() {
  finished = true;
  fastForwarding = false;
  Tell(PlaybackState::Ended);
}

// Delivers the events stamped with `frame`; false when the script ends
// there: a replay's next event is its exit, or the runner's exit closed the
// program.
bool DeliverEventsOf(long long frame) {
  while (next < events.size() && events[next].frame == frame) {
    if (end == ScriptEnd::Replay && events[next].command == "exit") return false;
    const DeliveryResult result = DeliverScriptEvent(events[next++]);
    if (eventListener != nullptr) eventListener(result);
    if (result == DeliveryResult::Exit) return false;
  }
  return true;
}

bool AllDelivered() {
  return end == ScriptEnd::Replay && next >= events.size();
}

void EndJumpIfDone() {
  if (fastForwarding && played + 1 >= fastForwardTo) {
    fastForwarding = false;
    if (!finished) Tell(PlaybackState::Playing);
  }
}

}  // namespace

DeliveryResult DeliverScriptEvent(const ScriptEvent& e) {
  const std::string& c = e.command;
  if (c == "click") {
    OnLeftButtonDown(e.x, e.y);
  } else if (c == "move") {
    OnMouseMove(e.x, e.y);
  } else if (c == "start") {
    OnCommand(ID_GAME_START);
  } else if (c == "stop") {
    OnCommand(ID_GAME_STOP);
  } else if (c == "rapid") {
    OnCommand(ID_SETTINGS_RAPID);
  } else if (c == "sound") {
    OnCommand(ID_SETTINGS_SOUND);
  } else if (c == "clear" || c == "clear-cancel") {
    PlaybackSetConfirmAnswer(c == "clear");
    OnCommand(ID_GAME_CLEAR_RANKING);
  } else if (c == "about") {
    OnCommand(ID_HELP_ABOUT);
  } else if (c == "repaint") {
    RepaintAll();
  } else if (c == "name") {
    PlaybackQueueName(e.text);
  } else if (c == "dump") {
    return DeliveryResult::Dump;
  } else if (c == "exit" || c == "exit-cancel") {
    PlaybackSetConfirmAnswer(c == "exit");
    if (OnClose()) return DeliveryResult::Exit;
  }
  return DeliveryResult::Continue;
}

void BeginScriptPlayback(const std::vector<ScriptEvent>& script, ScriptEnd scriptEnd,
                         const std::string* settingsText) {
  events = script;
  end = scriptEnd;
  fastForwardTo = 0;
  next = 0;
  played = 0;
  finished = false;
  fastForwarding = false;
  PlaybackBegin();
  PlaybackSetSettingsText(settingsText);
}

void BeginReplayPlayback(const ReplaySession& session) {
  BeginScriptPlayback(session.events, ScriptEnd::Replay, &session.header.settingsText);
  fastForwardTo = session.fastForwardTo;
  SetSettingsFilePath("");
}

void SetScriptEventListener(void (*listener)(DeliveryResult result)) {
  eventListener = listener;
}

void StartReplayPlayback() {
  PlaybackSetSettingsText(nullptr);
  ReplaySetRecording(false);
  fastForwarding = fastForwardTo > 1;
  Tell(fastForwarding ? PlaybackState::Jumping : PlaybackState::Playing);
  if (!DeliverEventsOf(0) || AllDelivered()) Finish();
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
  SessionRunFrame();
  ++played;
  EndJumpIfDone();
  if (AllDelivered()) Finish();
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

bool PlaybackJumpToNextGame() {
  if (end != ScriptEnd::Replay || finished || fastForwarding) return false;
  for (std::size_t i = next; i < events.size(); ++i) {
    // the events of the next frame are still to come: a start there is the next game
    if (events[i].command == "start" && events[i].frame > played) {
      fastForwardTo = events[i].frame;
      fastForwarding = fastForwardTo > played + 1;
      if (fastForwarding) Tell(PlaybackState::Jumping);
      return true;
    }
  }
  return false;
}
