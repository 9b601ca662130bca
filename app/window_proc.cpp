#include "app/window_proc.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "app/frame.h"
#include "app/program.h"
#include "app/session.h"
#include "draw/repaint.h"
#include "game/explosions.h"
#include "game/flow.h"
#include "host/window.h"
#include "records/settings.h"
#include "replay/playback.h"
#include "replay/recorder.h"
#include "sound/sound.h"
#include "world/world.h"

namespace {

// Counts a shot request of this frame; only the one that makes it 1 fires.
bool TakeShotOfFrame() {
  if (World.shotsThisFrame < INT_MAX) World.shotsThisFrame++;
  return World.shotsThisFrame <= 1;
}

// Client coordinates travel as two unsigned 16-bit halves.
int MessageCoordinate(int value) {
  return static_cast<std::uint16_t>(value);
}

void Toggle(int& flag) {
  flag = flag == 0 ? 1 : 0;
}

// A confirmation box; during playback the script gives the answer.
bool Confirm(ConfirmBox box) {
  return PlaybackActive() ? PlaybackConfirmAnswer() : PlatformConfirm(box);
}

// A command that ends a running game first closes that game's record.
void EndGameInPlay() {
  if (World.demoMode == 0) ReplayNoteGameEnd();
}

void ClearRankingAfterConfirmation() {
  World.modalOpen = 1;
  const bool confirmed = Confirm(ConfirmBox::ClearRanking);
  ReplayNoteCommand(confirmed ? "clear" : "clear-cancel");
  if (!confirmed) {
    World.modalOpen = 0;
    return;
  }
  ClearRanking();
  World.modalOpen = 0;
  EnterDemoMode();
  SessionSaveRanking();
}

bool destroyed = false;
bool quitting = false;

void Quit() {
  quitting = true;
  PlatformQuit(0);
}

}  // namespace

void FireShot(int x, int y) {
  PlaySoundEvent(kSoundShot);
  AddExplosion(x, y, 1, 1);
}

void OnLeftButtonDown(int x, int y) {
  if (World.demoMode != 0) return;
  if (!TakeShotOfFrame()) return;
  ReplayNotePoint("click", MessageCoordinate(x), MessageCoordinate(y));
  FireShot(MessageCoordinate(x), MessageCoordinate(y));
}

void OnMouseMove(int x, int y) {
  if (World.demoMode != 0) return;
  if (RapidFlag == 0) return;
  if (!TakeShotOfFrame()) return;
  ReplayNotePoint("move", MessageCoordinate(x), MessageCoordinate(y));
  FireShot(MessageCoordinate(x), MessageCoordinate(y));
}

bool OnCommand(int id) {
  switch (id) {
    case ID_GAME_START:
      EndGameInPlay();
      ReplayNoteCommand("start");
      StartGame();
      return true;
    case ID_GAME_STOP:
      EndGameInPlay();
      ReplayNoteCommand("stop");
      EnterDemoMode();
      return true;
    case ID_GAME_EXIT:
      PlatformPostClose();
      return true;
    case ID_SETTINGS_RAPID:
      EndGameInPlay();
      ReplayNoteCommand("rapid");
      if (World.demoMode != 0) Toggle(RapidFlag);
      EnterDemoMode();
      return true;
    case ID_HELP_ABOUT:
      World.modalOpen = 1;
      if (!PlaybackActive()) PlatformAboutDialog();
      World.modalOpen = 0;
      // after the repaints made while it was open
      ReplayNoteCommand("about");
      return true;
    case ID_GAME_CLEAR_RANKING:
      if (World.demoMode != 0) ClearRankingAfterConfirmation();
      return true;
    case ID_SETTINGS_SOUND:
      ReplayNoteCommand("sound");
      Toggle(SoundFlag);
      return true;
    default:
      return false;
  }
}

bool RunMenuCommand(int id) {
  if (!PlaybackActive()) return OnCommand(id);
  if (id == ID_HELP_ABOUT) {
    PlatformAboutDialog();
  } else if (id == ID_GAME_EXIT) {
    PlatformPostClose();
  } else {
    return false;
  }
  return true;
}

bool MenuCommandAllowedInPlayback(int id) {
  return id == ID_HELP_ABOUT || id == ID_GAME_EXIT;
}

bool OnClose() {
  World.modalOpen = 1;
  const bool confirmed = Confirm(ConfirmBox::Exit);
  World.modalOpen = 0;
  if (!confirmed) {
    ReplayNoteCommand("exit-cancel");
    return false;
  }
  OnDestroy();
  return true;
}

void OnDestroy() {
  // Reached from the confirmed close and from the host's orderly ends
  // (session end, termination signals); the file is written once.
  if (destroyed) return;
  destroyed = true;
  EndGameInPlay();
  ReplayNoteCommand("exit");
  SaveSettings();
  StopSound();
  StoreSessionRecord();
  Quit();
}

void EndProgram() {
  if (!PlaybackActive()) {
    OnDestroy();
    return;
  }
  if (quitting) return;
  StopSound();
  Quit();
}

bool ProgramQuitting() {
  return quitting;
}

void OnPaint() {
  if (World.modalOpen == 0) return;
  // it draws random colours: part of the record
  ReplayNoteCommand("repaint");
  RepaintAll();
}

int OnInitMenuPopup(int position, MenuItemState* items) {
  const bool demo = World.demoMode != 0;
  switch (position) {
    case 0:
      items[0] = {ID_GAME_CLEAR_RANKING, demo, false};
      return 1;
    case 1:
      items[0] = {ID_SETTINGS_RAPID, demo, RapidFlag != 0};
      items[1] = {ID_SETTINGS_SOUND, true, SoundFlag != 0};
      return 2;
    default:
      return 0;
  }
}

void RunFrame() {
  World.frameTick = 0;
  World.shotsThisFrame = 0;
  const bool playing = World.demoMode == 0;
  if (playing) {
    PlayFrame();
  } else {
    DemoFrame();
  }
  ReplayNoteFrameDone(playing);
}

void StartUp() {
  destroyed = false;
  quitting = false;
  std::strncpy(ProgramName, "Tavro.exe", sizeof ProgramName - 1);
  RapidFlag = 0;
  SoundFlag = 0;
  WaitFlag = 1;
  World.modalOpen = 0;
  World.score = 0;
  if (const std::string* settings = PlaybackSettingsText()) {
    LoadSettingsFromText(*settings);
  } else {
    LoadSettings();
  }
  ReplayBeginSession();
  LoadEmbeddedWaves();
  SetSoundFiles(BaseDirectory, ProgramName);
  const int started = StartSound();
  World.demoMode = 1;
  World.soundReady = started != 0 ? 1 : 0;
  EnterDemoMode();
}

WindowRect CenterRect(WindowRect window, WindowRect reference, int screenWidth, int screenHeight) {
  const int offsetX = (reference.left + reference.right) / 2 - (window.left + window.right) / 2;
  const int offsetY = (reference.top + reference.bottom) / 2 - (window.top + window.bottom) / 2;
  WindowRect r = {window.left + offsetX, window.top + offsetY, window.right + offsetX,
                  window.bottom + offsetY};
  if (r.right >= screenWidth) {
    const int shift = r.right - screenWidth;
    r.left -= shift;
    r.right -= shift;
  }
  if (r.bottom >= screenHeight) {
    const int shift = r.bottom - screenHeight;
    r.top -= shift;
    r.bottom -= shift;
  }
  if (r.left < 0) {
    r.right -= r.left;
    r.left = 0;
  }
  if (r.top < 0) {
    r.bottom -= r.top;
    r.top = 0;
  }
  return r;
}
