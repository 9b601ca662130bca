#include "replay/recorder.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string_view>

#include "records/settings.h"
#include "world/world.h"

#ifndef TAVRO_VERSION
#define TAVRO_VERSION "0"
#endif

const char kReplayMagic[] = "#@ tavro-replay 1";
const char kReplayVersion[] = TAVRO_VERSION;

namespace {

constexpr std::size_t kInitialCapacity = 64 * 1024;

std::string text;
std::vector<GameResult> results;
long long framesRun = 0;
// FNV-1a over the play's frames, from the game's start.
constexpr std::uint64_t kTraceStart = 0xcbf29ce484222325ull;
std::uint64_t trace = kTraceStart;

void AddToTrace(int value) {
  auto bits = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i, bits >>= 8) {
    trace = (trace ^ (bits & 0xffu)) * 0x100000001b3ull;
  }
}

// The ranking row of the game running, noted by the game-over show before
// the game's end is.
int rankedPlace = 0;
std::string rankedName;
bool recording = false;
bool writeRequested = false;

void AppendLine(std::string_view line) {
  if (recording) {
    text += line;
    text += '\n';
  }
}

// An event happening now, between two frames (or inside the frame running,
// for the name dialog), is delivered by the runner before the next frame.
// Formatted on the stack: events come every frame during rapid fire, and the
// buffer's reserve keeps the appends from allocating.
void AppendEvent(const char* format, ...) __attribute__((format(printf, 1, 2)));
void AppendEvent(const char* format, ...) {
  char line[160];
  int length = std::snprintf(line, sizeof line, "%lld ", framesRun + 1);
  va_list arguments;
  va_start(arguments, format);
  const int rest = std::vsnprintf(line + length, sizeof line - static_cast<std::size_t>(length),
                                  format, arguments);
  va_end(arguments);
  if (rest < 0) return;
  length = std::min<int>(length + rest, static_cast<int>(sizeof line) - 1);
  AppendLine(std::string_view(line, static_cast<std::size_t>(length)));
}

}  // namespace

void ReplayBeginSession() {
  text.clear();
  text.reserve(kInitialCapacity);
  results.clear();
  framesRun = 0;
  rankedPlace = 0;
  rankedName.clear();
  trace = kTraceStart;
  recording = true;
  writeRequested = false;
  text += kReplayMagic;
  text += "\n# TAVRO replay: 'tavro --replay FILE' shows it, 'tavro-sim --verify FILE' checks it\n";
  text += "#@ version ";
  text += kReplayVersion;
  text += '\n';
  // the settings and ranking as loaded, in the settings file's own form
  const std::string settings = SaveSettingsToText(std::string());
  std::size_t start = 0;
  while (start < settings.size()) {
    std::size_t end = settings.find('\n', start);
    if (end == std::string::npos) end = settings.size();
    std::size_t lineEnd = end;
    if (lineEnd > start && settings[lineEnd - 1] == '\r') --lineEnd;
    text += "#@ ini ";
    text.append(settings, start, lineEnd - start);
    text += '\n';
    start = end + 1;
  }
}

void ReplaySetRecording(bool on) {
  recording = on;
}

bool ReplayRecording() {
  return recording;
}

long long ReplayFramesRun() {
  return framesRun;
}

void ReplayNoteCommand(const char* command) {
  if (!recording) return;
  AppendEvent("%s", command);
}

void ReplayNotePoint(const char* command, int x, int y) {
  if (!recording) return;
  AppendEvent("%s %d %d", command, x, y);
}

void ReplayNoteName(const char* name) {
  if (!recording) return;
  // the dialog opens inside the frame running now, the one the stamp names:
  // the runner queues the name before that frame
  AppendEvent("name %s", name);
}

void ReplayNoteRanked(const RankingEntry& row) {
  rankedPlace = World.rankJustAchieved;
  rankedName.assign(row.name, NameLength(row));
  if (!recording) return;
  AppendLine("#@ ranked " + std::to_string(row.score) + ' ' + std::to_string(row.level) + ' ' +
             std::to_string(row.rapid) + ' ' + std::string(row.name, NameLength(row)));
}

void ReplayNoteGameEnd() {
  results.push_back({World.score, World.level, rankedPlace, rankedName, framesRun, trace});
  rankedPlace = 0;
  rankedName.clear();
  trace = kTraceStart;
  char line[96];
  std::snprintf(line, sizeof line, "#@ game %zu score %d level %d", results.size(), World.score,
                World.level);
  AppendLine(line);
  writeRequested = true;
}

void ReplayNoteFrameDone(bool wasPlaying) {
  ++framesRun;
  if (wasPlaying) {
    for (int value : {World.score, World.level, World.groundY, World.liveMeteors}) {
      AddToTrace(value);
    }
  }
  if (wasPlaying && World.demoMode != 0) ReplayNoteGameEnd();
}

const std::string& ReplayText() {
  return text;
}

const std::vector<GameResult>& ReplayGameResults() {
  return results;
}

int ReplayBestScore() {
  int best = 0;
  for (const GameResult& r : results) best = r.score > best ? r.score : best;
  return best;
}

bool ReplayTakeWriteRequest() {
  const bool requested = writeRequested;
  writeRequested = false;
  return requested;
}
