#include "platform/qt/replay_player.h"

#include <SDL_mixer.h>

#include <QElapsedTimer>
#include <QString>
#include <cstdio>

#include "app/window_proc.h"
#include "platform/platform.h"
#include "platform/qt/host.h"
#include "platform/qt/main_window.h"
#include "records/settings.h"
#include "replay/playback.h"
#include "replay/recorder.h"

namespace tavro_qt {
namespace {

ReplaySession session;
std::size_t next = 0;
long long played = 0;
bool finished = false;
bool fastForwarding = false;
int savedVolume = -1;

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

// The jump is silent: the effects it requests play at volume 0 and are cut
// off when it ends.
void MuteMixer(bool muted) {
  int rate;
  Uint16 format;
  int channels;
  if (Mix_QuerySpec(&rate, &format, &channels) == 0) return;  // no device
  if (muted) {
    if (savedVolume < 0) savedVolume = Mix_Volume(-1, -1);
    Mix_Volume(-1, 0);
  } else if (savedVolume >= 0) {
    Mix_HaltChannel(-1);
    Mix_Volume(-1, savedVolume);
    savedVolume = -1;
  }
}

void SetTitle(const char* state) {
  if (MainWindow* window = HostWindow()) {
    window->setWindowTitle(QString::fromUtf8(kWindowTitle) + QStringLiteral(" - ") +
                           QString::fromUtf8(state));
  }
}

void Finish() {
  finished = true;
  if (fastForwarding) {
    fastForwarding = false;
    MuteMixer(false);
  }
  SetTitle("replay ended");
  // the events delivered last (a repaint) may have drawn after the frame
  if (MainWindow* window = HostWindow()) window->playfield()->update();
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
    MuteMixer(false);
    if (!finished) SetTitle("replay");
  }
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
  SetTitle("replay");
  if (session.fastForwardTo > 1) {
    fastForwarding = true;
    MuteMixer(true);
    SetTitle("replay (jumping)");
  }
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
  QElapsedTimer clock;
  clock.start();
  while (fastForwarding && !finished && clock.elapsed() < milliseconds) PlaybackFrame();
  return fastForwarding && !finished;
}

}  // namespace tavro_qt
