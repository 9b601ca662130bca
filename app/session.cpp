#include "app/session.h"

#include <cstdio>
#include <ctime>
#include <deque>

#include "app/game_over.h"
#include "app/script_player.h"
#include "app/texts.h"
#include "host/files.h"
#include "host/network.h"
#include "host/window.h"
#include "online/shared_ranking.h"
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

// How a replay is shown.
bool paused = false;
bool stepWanted = false;
int speed = 1;
PlaybackState playbackState = PlaybackState::Playing;

// The host's HTTP answers, taken up at the next step.
struct HttpAnswer {
  int id;
  int status;
  std::string body;
};
std::deque<HttpAnswer> answers;

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
  paused = false;
  stepWanted = false;
  speed = 1;
  playbackState = PlaybackState::Playing;
  answers.clear();
  OnlineReset();
  std::snprintf(title, sizeof title, "%s", kWindowTitle);
}

bool Watching() {
  return kind == SessionKind::Replay;
}

void ShowPlaybackTitle() {
  if (!Watching()) return;
  if (playbackState == PlaybackState::Jumping) {
    SetTitle("replay (jumping)");
  } else if (playbackState == PlaybackState::Ended) {
    SetTitle("replay ended");
  } else if (paused) {
    SetTitle("replay (paused)");
  } else if (speed > 1) {
    SetTitle(speed == 2 ? "replay (2x)" : "replay (4x)");
  } else {
    SetTitle("replay");
  }
}

void TakeAnswers() {
  while (!answers.empty()) {
    HttpAnswer answer = std::move(answers.front());
    answers.pop_front();
    OnlineHandleAnswer(answer.id, answer.status, answer.body);
  }
}

// A ranked game of the player's own session: its record goes to the shared
// ranking when the player plays online.
void OfferRankedGame() {
  if (kind != SessionKind::Play || !ReplayRecording()) return;
  const std::vector<GameResult>& games = ReplayGameResults();
  if (games.empty() || games.back().place == 0) return;
  OnlineGameRanked(ReplayText(), SessionReplayName(), static_cast<int>(games.size()));
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
  if (kind == SessionKind::Play) OnlineStart(keepReplays ? DefaultReplaysFolder() : std::string());
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
  if (!answers.empty()) return true;
  if (PlaybackActive()) {
    if (PlaybackFinished()) return false;
    if (PlaybackFastForwarding()) return true;
    return paused ? stepWanted : World.frameTick != 0;
  }
  return World.frameTick != 0 || WaitFlag == 0;
}

StepOutcome SessionStep() {
  StepOutcome outcome;
  TakeAnswers();
  if (!SessionFrameDue()) return outcome;
  outcome.ran = true;
  if (PlaybackActive()) {
    if (PlaybackFastForwarding()) {
      // the first picture shown is the one the jump arrived at
      outcome.show = !FastForwardFor(15);
      return outcome;
    }
    World.frameTick = 0;
    // paused, one frame on request; otherwise as many as the speed says
    const int frames = paused ? 1 : speed;
    stepWanted = false;
    for (int i = 0; i < frames && !PlaybackFastForwarding(); ++i) {
      if (!PlaybackFrame()) break;
      outcome.frame = true;
    }
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
  // after a game: the record so far is kept, and a ranked one offered
  if (ReplayTakeWriteRequest()) {
    StoreSessionRecord();
    OfferRankedGame();
  }
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
  if (id == ID_GAME_SHARED_RANKING) {
    // the dialog opens on fresh rankings
    if (!PlaybackActive()) {
      if (kind == SessionKind::Play) OnlineRefresh();
      PlatformShowSharedRanking();
    }
    return true;
  }
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
  playbackState = state;
  ShowPlaybackTitle();
}

const char kPlaybackKeysHint[] = "Space: 一時停止/再開  .: 1フレーム  1/2/4: 速度  N: 次のゲーム";

bool SessionPlaybackControl(PlaybackControl control) {
  if (!Watching() || !PlaybackActive() || PlaybackFinished()) return false;
  switch (control) {
    case PlaybackControl::Pause:
      paused = !paused;
      break;
    case PlaybackControl::Frame:
      if (!paused || PlaybackFastForwarding()) return false;
      stepWanted = true;
      break;
    case PlaybackControl::Speed1:
    case PlaybackControl::Speed2:
    case PlaybackControl::Speed4:
      speed = control == PlaybackControl::Speed1 ? 1 : control == PlaybackControl::Speed2 ? 2 : 4;
      paused = false;
      break;
    case PlaybackControl::NextGame:
      if (!PlaybackJumpToNextGame()) return false;
      break;
  }
  ShowPlaybackTitle();
  return true;
}

bool SessionPlaybackKey(int character) {
  switch (character) {
    case ' ':
      return SessionPlaybackControl(PlaybackControl::Pause);
    case '.':
      return SessionPlaybackControl(PlaybackControl::Frame);
    case '1':
      return SessionPlaybackControl(PlaybackControl::Speed1);
    case '2':
      return SessionPlaybackControl(PlaybackControl::Speed2);
    case '4':
      return SessionPlaybackControl(PlaybackControl::Speed4);
    case 'n':
    case 'N':
      return SessionPlaybackControl(PlaybackControl::NextGame);
    default:
      return false;
  }
}

void SessionHttpAnswer(int id, int status, const std::string& body) {
  answers.push_back({id, status, body});
}

void SessionSetOnline(const OnlineSettings& settings) {
  if (kind == SessionKind::Play) OnlineApplySettings(settings);
}

void SessionRefreshSharedRanking() {
  if (kind == SessionKind::Play) OnlineRefresh();
}

void SessionWatchSharedReplay(SharedPeriod period, int row) {
  if (kind == SessionKind::Play) OnlineWatch(period, row);
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
