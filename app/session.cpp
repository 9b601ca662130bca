#include "app/session.h"

#include <cstdio>
#include <ctime>

#include "app/game_over.h"
#include "app/script_player.h"
#include "app/texts.h"
#include "host/files.h"
#include "host/window.h"
#include "records/settings.h"
#include "replay/playback.h"
#include "replay/recorder.h"
#include "replay/replay_file.h"
#include "replay/store.h"
#include "world/world.h"

namespace {

SessionKind kind = SessionKind::None;
bool keepReplays = false;
std::time_t sessionStart = 0;
long long framesRun = 0;
char title[96];
// The player was told this session that the ranking could not be saved.
bool toldRankingNotSaved = false;
// The notice, before the file's path.
constexpr char kRankingNotSavedText[] = "ランキングを保存できませんでした。\n\n";

void SetTitle(const char* state) {
  if (state == nullptr) {
    std::snprintf(title, sizeof title, "%s", kWindowTitle);
  } else {
    std::snprintf(title, sizeof title, "%s - %s", kWindowTitle, state);
  }
  PlatformSetTitle(title);
}

void Begin(SessionKind newKind) {
  kind = newKind;
  keepReplays = false;
  framesRun = 0;
  toldRankingNotSaved = false;
  std::snprintf(title, sizeof title, "%s", kWindowTitle);
}

bool Watching() {
  return kind == SessionKind::Replay;
}

}  // namespace

void BeginPlaySession(bool keep) {
  Begin(SessionKind::Play);
  keepReplays = keep;
  sessionStart = std::time(nullptr);
  SetSettingsFilePath(DefaultSettingsFilePath());
}

void BeginReplaySession(const ReplaySession& session) {
  Begin(SessionKind::Replay);
  BeginReplayPlayback(session);
}

void BeginRunnerScript(const std::vector<ScriptEvent>& events, const std::string* settingsText) {
  Begin(SessionKind::Script);
  BeginScriptPlayback(events, ScriptEnd::Runner, settingsText);
}

void StartSession() {
  StartUp();
  if (kind == SessionKind::Play && !keepReplays) ReplaySetRecording(false);
  if (kind == SessionKind::Replay || kind == SessionKind::Script) StartReplayPlayback();
}

SessionKind CurrentSessionKind() {
  return kind;
}

void SessionTick() {
  World.frameTick = 1;
}

bool SessionFrameDue() {
  if (ProgramQuitting()) return false;
  if (PlaybackActive()) {
    if (PlaybackFinished()) return false;
    return PlaybackFastForwarding() || World.frameTick != 0;
  }
  return World.frameTick != 0 || WaitFlag == 0;
}

StepOutcome SessionStep() {
  StepOutcome outcome;
  if (!SessionFrameDue()) return outcome;
  outcome.ran = true;
  if (PlaybackActive()) {
    if (PlaybackFastForwarding()) {
      // the first picture shown is the one the jump arrived at
      outcome.show = !FastForwardFor(15);
      return outcome;
    }
    World.frameTick = 0;
    outcome.frame = PlaybackFrame();
    outcome.show = outcome.frame || PlaybackFinished();
    outcome.ran = outcome.frame;
    return outcome;
  }
  SessionRunFrame();
  outcome.frame = true;
  outcome.show = true;
  return outcome;
}

void SessionRunFrame() {
  RunFrame();
  ++framesRun;
  // after a game: the record so far is kept
  if (ReplayTakeWriteRequest()) StoreSessionRecord();
}

long long SessionFramesRun() {
  return framesRun;
}

bool SessionJumping() {
  return PlaybackActive() && PlaybackFastForwarding();
}

void SessionClick(int x, int y) {
  if (!PlaybackActive()) OnLeftButtonDown(x, y);
}

void SessionMove(int x, int y) {
  if (!PlaybackActive()) OnMouseMove(x, y);
}

bool SessionMenuCommand(int id) {
  return RunMenuCommand(id);
}

bool SessionCloseRequest() {
  // A replay has nothing to lose and ends without asking.
  if (PlaybackActive() || ProgramQuitting()) {
    EndProgram();
    return true;
  }
  return OnClose();
}

void SessionPaint() {
  if (!PlaybackActive()) OnPaint();
}

int SessionMenuState(int position, MenuItemState* items) {
  if (position < 0 || position >= 3) return 0;
  const PopupEntry& popup = kMainMenu[position];
  MenuItemState rules[2];
  const int ruled = OnInitMenuPopup(position, rules);
  int count = 0;
  for (int i = 0; i < popup.count; ++i) {
    const int id = popup.items[i].id;
    if (id == 0) continue;
    MenuItemState state = {id, true, false};
    for (int r = 0; r < ruled; ++r) {
      if (rules[r].id == id) state = rules[r];
    }
    if (PlaybackActive() && !MenuCommandAllowedInPlayback(id)) state.enabled = false;
    items[count++] = state;
  }
  return count;
}

const char* SessionTitle() {
  return title[0] != '\0' ? title : kWindowTitle;
}

void SessionPlaybackChanged(PlaybackState state) {
  if (!Watching()) return;
  SetTitle(state == PlaybackState::Playing   ? "replay"
           : state == PlaybackState::Jumping ? "replay (jumping)"
                                             : "replay ended");
}

void SessionSaveNow() {
  if (!PlaybackActive() && !ProgramQuitting()) SaveSettings();
}

void SessionSaveRanking() {
  if (kind != SessionKind::Play || PlaybackActive() || ProgramQuitting()) return;
  // a system that names no place for the file keeps nothing, as at the exit
  if (SettingsFilePath().empty()) return;
  if (TrySaveRanking() || toldRankingNotSaved) return;
  toldRankingNotSaved = true;
  const std::string text = std::string(kRankingNotSavedText) + SettingsFilePath();
  PlatformShowNotice(text.c_str());
}

void SessionKeepTypedName(const char* typed, std::size_t length) {
  KeepTypedName(typed, length);
}

void SessionEnd() {
  if (!ProgramQuitting()) EndProgram();
}

bool SessionQuitting() {
  return ProgramQuitting();
}

void StoreSessionRecord() {
  if (kind == SessionKind::Play && keepReplays) {
    StoreSessionReplay(DefaultReplaysFolder(), sessionStart);
  }
}
