#include "platform/win32/replay_player.h"

#include <windows.h>

#include <cstdio>

#include "app/window_proc.h"
#include "platform/platform.h"
#include "platform/win32/host.h"
#include "records/settings.h"
#include "replay/playback.h"
#include "replay/recorder.h"

namespace tavro_win32 {
namespace {

constexpr unsigned long long kMaxReplayBytes = 256ull << 20;

ReplaySession session;
std::size_t next = 0;
long long played = 0;
bool finished = false;
bool fastForwarding = false;

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

void SetTitle(const wchar_t* state) {
  if (HWND window = MainWindowHandle()) {
    const std::wstring title = std::wstring(kWindowTitle) + L" - " + state;
    SetWindowTextW(window, title.c_str());
  }
}

void Finish() {
  finished = true;
  fastForwarding = false;
  SetTitle(L"replay ended");
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

}  // namespace

bool LoadReplayFile(const std::string& path, int fromGame, ReplaySession* out, std::string* error) {
  OpenFailure failure = OpenFailure::None;
  std::FILE* file = PlatformOpenForReading(path.c_str(), kMaxReplayBytes, &failure);
  if (file == nullptr) {
    *error = WhyNotOpened(failure);
    return false;
  }
  std::string text;
  char chunk[65536];
  std::size_t count;
  while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, count);
  const bool readError = std::ferror(file) != 0;
  std::fclose(file);
  if (readError) {
    *error = "cannot be read";
    return false;
  }
  ReplaySession loaded;
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

void BeginWindowPlayback(const ReplaySession& loaded) {
  session = loaded;
  next = 0;
  played = 0;
  finished = false;
  fastForwarding = false;
  PlaybackBegin();
  PlaybackSetSettingsText(&session.header.settingsText);
  SetSettingsFilePath("");
}

void StartWindowPlayback() {
  PlaybackSetSettingsText(nullptr);
  ReplaySetRecording(false);
  SetTitle(L"replay");
  if (session.fastForwardTo > 1) {
    fastForwarding = true;
    SetTitle(L"replay (jumping)");
  }
  if (!DeliverEventsOf(0) || next >= session.events.size()) Finish();
}

bool PlaybackFastForwarding() {
  return fastForwarding;
}

bool PlaybackFinished() {
  return finished;
}

bool PlaybackFrame() {
  if (finished) return false;
  if (!DeliverEventsOf(played + 1)) {
    Finish();
    return false;
  }
  RunFrame();
  ++played;
  if (fastForwarding && played + 1 >= session.fastForwardTo) {
    fastForwarding = false;
    SetTitle(L"replay");
  }
  if (next >= session.events.size()) Finish();
  return true;
}

bool FastForwardFor(int milliseconds) {
  const ULONGLONG start = GetTickCount64();
  while (fastForwarding && !finished &&
         GetTickCount64() - start < static_cast<ULONGLONG>(milliseconds)) {
    PlaybackFrame();
  }
  return fastForwarding && !finished;
}

}  // namespace tavro_win32
