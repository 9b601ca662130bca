// The browser host: start-up, the main loop over the page's events and
// frame ticks, and the program's boxes and sleeps as the page shows them.
// The program runs as one call of main that waits (through Asyncify) for the
// page; all game code runs inside it, never from the page's own handlers,
// which only queue input.
#include <emscripten.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/program.h"
#include "app/script_player.h"
#include "app/session.h"
#include "app/texts.h"
#include "host/files.h"
#include "host/window.h"
#include "platform/web/page_bridge.h"
#include "platform/web/web_online.h"
#include "records/name_width.h"
#include "records/ranking.h"
#include "replay/replay_file.h"
#include "surface/dirty_region.h"
#include "surface/surface.h"
#include "world/world.h"

namespace {

bool quitRequested = false;
double framesRun = 0;
// The canvas's picture: the surface as RGBA bytes, kept up to date in the
// parts the drawing touched.
std::uint32_t framePixels[kSurfaceWidth * kSurfaceHeight];
DirtyRegion shownRegion;
constexpr int kMaxShownRects = 16;
static_assert(sizeof(SurfaceRect) == 4 * sizeof(int), "the page reads rectangles as 4 ints");
// Whether the page was asked for the whole glyph table.
bool glyphTableAsked = false;

// Makes `count` pixels 0x00RRGGBB the canvas's R, G, B, A bytes, two at a
// time in 64-bit words (rectangles are whole tiles, so the count is even):
// the page's largest cost of its own.
void MakeRgba(const std::uint32_t* from, std::uint32_t* to, int count) {
  static_assert(kDirtyTileSide % 2 == 0);
  constexpr std::uint64_t kRedBlue = 0x000000FF000000FFull;
  constexpr std::uint64_t kGreen = 0x0000FF000000FF00ull;
  constexpr std::uint64_t kOpaque = 0xFF000000FF000000ull;
  for (int x = 0; x < count; x += 2) {
    std::uint64_t pair;
    std::memcpy(&pair, from + x, sizeof pair);
    pair = kOpaque | (pair & kRedBlue) << 16 | (pair & kGreen) | (pair >> 16 & kRedBlue);
    std::memcpy(to + x, &pair, sizeof pair);
  }
}

// Shows what the drawing touched since the last show: those rectangles of
// the surface's 0x00RRGGBB pixels made RGBA, and the page told to put them
// on the canvas (the first time, the whole surface: clearing it at the
// start marks it all).
void ShowSurface() {
  TakeDirtyRegion(&shownRegion);
  const std::uint32_t* pixels = SurfacePixels();
  for (int r = 0; r < shownRegion.count; ++r) {
    const SurfaceRect& rect = shownRegion.rects[r];
    for (int y = rect.y; y < rect.y + rect.height; ++y) {
      MakeRgba(pixels + y * kSurfaceWidth + rect.x, framePixels + y * kSurfaceWidth + rect.x,
               rect.width);
    }
  }
  // Only the changed pixels are made RGBA (the rest of the page's copy is
  // current), but the page puts a few bands at most: one transfer of a band
  // costs less than many small ones.
  LimitDirtyRegion(&shownRegion, kMaxShownRects);
  PageShowFrame(reinterpret_cast<const unsigned char*>(framePixels),
                reinterpret_cast<const int*>(shownRegion.rects), shownRegion.count,
                shownRegion.whole ? 1 : 0, framesRun);
}

// The program carries only part of the font: the first text that lacks a
// character has the page fetch the whole table, which is put in its place
// between frames once it has come; everything is then shown anew.
void AskForGlyphTable() {
  if (glyphTableAsked || !SurfaceTakeMissingGlyph()) return;
  glyphTableAsked = true;
  PageFetchGlyphTable();
}

void TakeGlyphTable() {
  if (!glyphTableAsked) return;
  int size = 0;
  unsigned char* table = PageTakeGlyphTable(&size);
  if (table == nullptr) {
    // no whole table to wait for: what the part lacks is shown as boxes
    if (PageGlyphTableFailed() != 0) SetSurfaceFontPart(false);
    return;
  }
  if (SetSurfaceGlyphTable(table, static_cast<std::size_t>(size))) {
    MarkSurfaceDirty();
  } else {
    std::free(table);
  }
}

// The score line and the ranking as text for the page's screen-reader
// mirror, passed on when they change.
void MirrorForReaders() {
  static std::string lastLine;
  static std::string lastRanking;
  char line[96];
  const long long level = static_cast<long long>(World.level) + 1;
  if (World.demoMode != 0) {
    std::snprintf(line, sizeof line, "Last player's score: %d  Level: %lld", World.score, level);
  } else {
    std::snprintf(line, sizeof line, "SCORE: %d  LEVEL: %lld", World.score, level);
  }
  std::string ranking;
  for (const RankingEntry& row : World.ranking) {
    char values[64];
    std::snprintf(values, sizeof values, "LEVEL %lld  %s  %d  ",
                  static_cast<long long>(row.level) + 1, row.rapid != 0 ? "RA" : "NM", row.score);
    if (!ranking.empty()) ranking += '\n';
    ranking += values;
    ranking.append(row.name, static_cast<std::size_t>(NameLength(row)));
  }
  if (line == lastLine && ranking == lastRanking) return;
  lastLine = line;
  lastRanking = ranking;
  PageMirror(lastLine.c_str(), lastRanking.c_str());
}

void BuildMenu() {
  PageSetTitle(kWindowTitle);
  for (int p = 0; p < 3; ++p) {
    const PopupEntry& popup = kMainMenu[p];
    PageAddPopup(popup.title);
    for (int i = 0; i < popup.count; ++i) {
      const MenuEntry& item = popup.items[i];
      PageAddItem(p, item.text, item.id, item.checkable ? 1 : 0, CommandHint(item.id));
    }
  }
}

void HandleEvent(int kind, int first, int second) {
  switch (kind) {
    case kPageEventClick:
      SessionClick(first, second);
      break;
    case kPageEventMove:
      SessionMove(first, second);
      break;
    case kPageEventCommand:
      SessionMenuCommand(first);
      break;
    case kPageEventClose:
      SessionCloseRequest();
      break;
    case kPageEventOnline:
      WebTakeOnlineAction();
      break;
    case kPageEventKey:
      SessionPlaybackKey(first);
      break;
    default:
      break;
  }
}

// Handles the input waiting in the page; false when there was none.
bool HandleWaitingEvents() {
  int first = 0;
  int second = 0;
  bool handled = false;
  while (!quitRequested) {
    const int kind = PageTakeEvent(&first, &second);
    if (kind == kPageEventNone) break;
    HandleEvent(kind, first, second);
    handled = true;
  }
  return handled;
}

// Starts the test hook's script, when the page was given one: its events
// drive the program as they drive the runner, and no settings are read or
// written. False when there is none; a bad script stops the page.
bool BeginScript(bool* failed) {
  *failed = false;
  int length = 0;
  char* text = PageScriptText(&length);
  if (text == nullptr) return false;
  const std::string script(text, static_cast<std::size_t>(length));
  std::free(text);
  ReplaySession session;
  std::string error;
  if (!ParseScript(script, session.events, session.header, error) ||
      (session.header.isReplay && !CheckReplayHeader(session.header, error))) {
    PageShowMessage(("script: " + error).c_str());
    *failed = true;
    return false;
  }
  BeginReplaySession(session);
  return true;
}

// The replay the page was opened to play (?replay=PATH&from-game=N): its
// path in a buffer from malloc (the caller frees it) and *fromGame; null
// when there is none.
// clang-format off
EM_JS(char*, PageReplayRequest, (int* fromGame), {
  const request = TavroPage.replays.requested;
  if (!request) return 0;
  HEAP32[fromGame >> 2] = request.fromGame;
  return TavroPage.programString(request.path);
});

// A replay plays: the page takes the playback keys and names them.
EM_JS(void, PageWatchingReplay, (const char* keysHint), {
  TavroPage.replays.watching = true;
  TavroPage.idleStatus = UTF8ToString(keysHint);
  TavroPage.showMessage("");
});
// clang-format on

// Starts the replay the page was opened to play, read from the replays
// folder, as the desktop's --replay does: from its own settings, the
// player's neither read nor written. False when there is none; a replay
// that cannot be played stops the page with the reason.
bool BeginRequestedReplay(bool* failed) {
  *failed = false;
  int fromGame = 0;
  char* path = PageReplayRequest(&fromGame);
  if (path == nullptr) return false;
  const std::string name = path;
  std::free(path);
  ReplaySession session;
  std::string error;
  if (!LoadReplayFile(name, fromGame, &session, &error)) {
    PageShowMessage((kReplayErrorIntro + name + ": " + error).c_str());
    *failed = true;
    return false;
  }
  BeginReplaySession(session);
  PageWatchingReplay(kPlaybackKeysHint);
  return true;
}

// The text of the open name-entry dialog's field as UTF-8 in a buffer from
// malloc (the caller frees it), its length in *length; null when the dialog
// is not open.
// clang-format off
EM_JS(char*, OpenNameFieldText, (int* length), {
  const field = document.getElementById("name-field");
  return field ? TavroPage.programString(field.value, length) : 0;
});

// The page's own line for settings that could not be stored.
EM_JS(void, ShowNotStoredNotice, (), {
  TavroPage.storageRefused();
});
// clang-format on

}  // namespace

extern "C" {

// The page is being hidden or left: the settings, the ranking and the
// session's record are saved now, as the program may never run again; a
// name being typed is kept.
EMSCRIPTEN_KEEPALIVE void WebSaveSettings() {
  int length = 0;
  if (char* typed = OpenNameFieldText(&length)) {
    SessionKeepTypedName(typed, static_cast<std::size_t>(length));
    std::free(typed);
  }
  SessionSaveNow();
  if (!SessionQuitting()) StoreSessionRecord();
}

// The popup at `position` is about to open: its check marks and greying.
EMSCRIPTEN_KEEPALIVE void WebInitMenuPopup(int position) {
  MenuItemState items[kMaxPopupItems];
  const int count = SessionMenuState(position, items);
  for (int i = 0; i < count; ++i) {
    PageSetItemState(items[i].id, items[i].enabled ? 1 : 0, items[i].checked ? 1 : 0);
  }
}

// Columns of a name as the ranking counts them.
EMSCRIPTEN_KEEPALIVE int WebNameColumns(const char* text) {
  return NameColumns(text);
}

}  // extern "C"

bool PlatformConfirm(ConfirmBox box) {
  return PageConfirm(kBoxCaption, ConfirmText(box)) != 0;
}

void PlatformAboutDialog() {
  PageAbout(kAboutCaption, kAboutProgramLine, kAboutVersionLine, kAboutSystemsLine,
            kAboutNoticeLine);
}

bool PlatformNameEntry(char* text, std::size_t capacity) {
  int length = 0;
  char* name = PageNameEntry(&length, kNameEntryCaption, kNameEntryBanner, kNameEntryPrompt,
                             kNameMaxColumns);
  if (name == nullptr) return false;
  CopyTypedName(name, static_cast<std::size_t>(length), text, capacity);
  std::free(name);
  return true;
}

void PlatformSleep(int milliseconds) {
  ShowSurface();
  PageSleep(milliseconds > 0 ? milliseconds : 0);
}

void PlatformPostClose() {
  PagePostEvent(kPageEventClose);
}

void PlatformQuit(int) {
  quitRequested = true;
}

void PlatformSetTitle(const char* title) {
  PageSetTitle(title);
}

// The page shows its own line under the playfield for it.
void PlatformShowNotice(const char*) {
  ShowNotStoredNotice();
}

int main() {
  std::snprintf(BaseDirectory, sizeof BaseDirectory, "%s", PlatformExecutableFolder().c_str());
  ClearSurface();
  if (!InitSurfaceFont()) PageShowMessage("the font table is missing");
  SetSurfaceFontPart(true);  // the page's code carries part of the font
  BuildMenu();
  // the player's sessions are kept in the replays folder, as on the desktop
  BeginPlaySession(true);
  bool failed = false;
  bool scripted = BeginRequestedReplay(&failed);
  if (!scripted && !failed) scripted = BeginScript(&failed);
  if (failed) return 1;
  StartSession();
  ShowSurface();
  while (!quitRequested) {
    // Input first; a frame only when none waits and its tick has come.
    if (HandleWaitingEvents()) continue;
    // The page gives every tick, WaitFlag 0's included, through the frame
    // flag: none comes while the page is hidden or a menu is open. The
    // network's answers are taken up by the step.
    if (World.frameTick != 0) {
      WebTakeHttpAnswers();
      TakeGlyphTable();
      const StepOutcome step = SessionStep();
      AskForGlyphTable();
      // every frame the session ran, a replay's jumps and speeds included
      framesRun = static_cast<double>(SessionFramesRun());
      if (step.show) {
        ShowSurface();
        MirrorForReaders();
      }
      if (scripted && step.show && PlaybackFinished()) PagePlaybackEnded();
    }
    if (quitRequested) break;
    // The tick sets the flag as the timer did; with WaitFlag 0 every turn
    // the browser gives back counts as one.
    if (PageWaitForWork(WaitFlag) != 0) SessionTick();
  }
  PageEnded();
  return 0;
}
