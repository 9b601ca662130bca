#include "platform/headless/sim_runner.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "app/program.h"
#include "app/script_player.h"
#include "app/session.h"
#include "app/window_proc.h"
#include "platform/headless/headless_host.h"
#include "platform/headless/world_json.h"
#include "records/settings.h"
#include "replay/playback.h"
#include "replay/recorder.h"
#include "sound/sound.h"
#include "surface/surface.h"
#include "world/world.h"

namespace {

class Run {
 public:
  Run(const SimOptions& options, std::FILE* out) : options_(options), out_(out) {}

  void Dump() {
    line_.clear();
    AppendWorldJson(line_, framesRun_);
    line_ += '\n';
    std::fwrite(line_.data(), 1, line_.size(), out_);
    std::fflush(out_);
  }

  // The line after the last frame, left out only when the last line written
  // already shows this very state.
  void FinalDump() {
    std::string line;
    AppendWorldJson(line, framesRun_);
    line += '\n';
    if (line != line_) Dump();
  }

  long long framesRun_ = 0;

 private:
  const SimOptions& options_;
  std::FILE* out_;
  std::string line_;  // the last line written
};

}  // namespace

bool ParseSimScript(const std::string& text, std::vector<SimEvent>& events, std::string& error,
                    ScriptHeader* header) {
  ScriptHeader parsed;
  if (!ParseScript(text, events, parsed, error)) return false;
  if (parsed.isReplay && !CheckReplayHeader(parsed, error)) return false;
  if (header != nullptr) *header = std::move(parsed);
  return true;
}

long long LastEventFrame(const std::vector<SimEvent>& events) {
  return events.empty() ? 0 : events.back().frame;
}

namespace {

Run* activeRun = nullptr;
bool quietRun = false;

// The runner's part of each event: the dumps it asks for, and a close the
// game posted, answered with the default button.
void AfterEvent(DeliveryResult result) {
  if (result != DeliveryResult::Continue && !quietRun) activeRun->Dump();
  if (result != DeliveryResult::Exit && HeadlessTakePostedClose()) {
    PlaybackSetConfirmAnswer(false);
    OnClose();
  }
}

}  // namespace

int RunSimulation(const SimOptions& options, const std::vector<SimEvent>& events, std::FILE* out,
                  bool* gameInPlay) {
  ClearWorldForStart();
  for (int& count : SoundEventCount) count = 0;
  HeadlessResetHost();
  ClearSurface();
  InitSurfaceFont();
  std::snprintf(BaseDirectory, sizeof BaseDirectory, "%s", options.baseDirectory.c_str());
  SetSettingsFilePath(options.iniPath);
  // the boxes take their answers from the script
  BeginRunnerScript(events, options.startSettings.has_value() ? &*options.startSettings : nullptr);
  Run run(options, out);
  activeRun = &run;
  quietRun = options.quiet;
  SetScriptEventListener(AfterEvent);
  StartSession();
  for (long long frame = 1; frame <= options.frames && PlaybackFrame(); ++frame) {
    run.framesRun_ = frame;
    if (!options.quiet && options.dumpEvery > 0 && frame % options.dumpEvery == 0) run.Dump();
  }
  const bool running = !PlaybackFinished();
  if (gameInPlay != nullptr) *gameInPlay = running && World.demoMode == 0;
  if (running && !options.quiet) run.FinalDump();
  if (running) StopSound();
  SetScriptEventListener(nullptr);
  activeRun = nullptr;
  PlaybackEnd();
  if (!options.pngPath.empty() && !WriteSurfacePng(options.pngPath.c_str())) {
    std::fprintf(stderr, "tavro-sim: cannot write %s\n", options.pngPath.c_str());
    return 1;
  }
  return 0;
}

namespace {

void AppendJson(std::string& out, const std::string& text) {
  AppendJsonString(out, text.data(), static_cast<int>(text.size()));
}

// A result as recorded (score and level), or as replayed (with the frame
// at its end and the trace of its play).
void AppendResult(std::string& out, const GameResult* result, bool replayed) {
  if (result == nullptr) {
    out += "null";
    return;
  }
  out +=
      "{\"score\":" + std::to_string(result->score) + ",\"level\":" + std::to_string(result->level);
  if (replayed) {
    char trace[24];
    std::snprintf(trace, sizeof trace, "%016llx", static_cast<unsigned long long>(result->trace));
    out += ",\"frame\":" + std::to_string(result->frame) + ",\"trace\":\"" + trace + '"';
  }
  out += '}';
}

// One game's entry of the JSON report.
void AppendGameJson(std::string& out, std::size_t index, const GameResult* recorded,
                    const GameResult* replayed, bool agreed, bool unfinished) {
  out += "{\"index\":" + std::to_string(index) + ",\"recorded\":";
  AppendResult(out, recorded, false);
  out += ",\"replayed\":";
  AppendResult(out, replayed, true);
  out += std::string(",\"agreed\":") + (agreed ? "true" : "false") +
         ",\"unfinished\":" + (unfinished ? "true" : "false") +
         ",\"place\":" + std::to_string(replayed != nullptr ? replayed->place : 0) + ",\"name\":";
  AppendJson(out, replayed != nullptr ? replayed->name : std::string());
  out += '}';
}

const char* RefusalName(VerifyRefusal refusal) {
  switch (refusal) {
    case VerifyRefusal::File:
      return "file";
    case VerifyRefusal::Format:
      return "format";
    case VerifyRefusal::Version:
      return "version";
    case VerifyRefusal::Settings:
      return "settings";
    case VerifyRefusal::Line:
      return "line";
    case VerifyRefusal::Events:
      return "events";
    case VerifyRefusal::TooLong:
      return "too-long";
  }
  return "file";
}

}  // namespace

int VerifyReplay(const SimOptions& options, const std::vector<SimEvent>& events,
                 const ScriptHeader& header, std::FILE* out, VerifyReport report) {
  SimOptions run = options;
  run.frames = LastEventFrame(events);
  run.quiet = true;
  run.startSettings = header.settingsText;
  bool gameInPlay = false;
  const int status = RunSimulation(run, events, out, &gameInPlay);
  if (status != 0) return status;
  const std::vector<GameResult>& got = ReplayGameResults();
  // the game running at the end, when the file records no result for it
  const bool unfinished = gameInPlay && header.games.size() <= got.size();
  const std::size_t games = std::max(got.size(), header.games.size());
  const bool json = report == VerifyReport::Json;
  std::string object = "{\"version\":";
  AppendJson(object, kReplayVersion);
  object += ",\"verdict\":\"\",\"games\":[";  // the verdict goes in at the end
  const std::size_t verdictAt = object.find("\"\",") + 1;
  int differences = 0;
  for (std::size_t i = 0; i < games; ++i) {
    const GameResult* recordedResult = i < header.games.size() ? &header.games[i] : nullptr;
    const GameResult* replayedResult = i < got.size() ? &got[i] : nullptr;
    std::string recorded = "none";
    std::string obtained = "none";
    if (recordedResult != nullptr) {
      recorded = "score " + std::to_string(recordedResult->score) + " level " +
                 std::to_string(recordedResult->level);
    }
    if (replayedResult != nullptr) {
      obtained = "score " + std::to_string(replayedResult->score) + " level " +
                 std::to_string(replayedResult->level);
    }
    const bool same = recorded == obtained;
    differences += same ? 0 : 1;
    if (json) {
      if (i > 0) object += ',';
      AppendGameJson(object, i + 1, recordedResult, replayedResult, same, false);
    } else {
      std::fprintf(out, "game %zu: recorded %s, replayed %s%s\n", i + 1, recorded.c_str(),
                   obtained.c_str(), same ? "" : "  DIFFERENT");
    }
  }
  if (unfinished) {
    if (json) {
      if (games > 0) object += ',';
      AppendGameJson(object, games + 1, nullptr, nullptr, false, true);
    } else {
      std::fprintf(out, "game %zu: unfinished at the replay's end\n", games + 1);
    }
  }
  const bool agreed = differences == 0 && !unfinished;
  if (json) {
    object.insert(verdictAt, agreed ? "verified" : "failed");
    object += "],\"different\":" + std::to_string(differences) +
              ",\"unfinished\":" + (unfinished ? "1" : "0") + "}\n";
    std::fwrite(object.data(), 1, object.size(), out);
  } else {
    std::fprintf(out, "%s: %zu game(s), %d different%s\n", agreed ? "verified" : "FAILED",
                 games + (unfinished ? 1 : 0), differences, unfinished ? ", 1 unfinished" : "");
  }
  return agreed ? 0 : 1;
}

void WriteVerifyRefusalJson(std::FILE* out, VerifyRefusal refusal, const std::string& message) {
  std::string object = "{\"version\":";
  AppendJson(object, kReplayVersion);
  object += std::string(",\"verdict\":\"refused\",\"refusal\":\"") + RefusalName(refusal) +
            "\",\"message\":";
  AppendJson(object, message);
  // the parser's messages about a line begin "line L: "
  int line = 0;
  if (std::sscanf(message.c_str(), "line %d: ", &line) == 1 && line > 0 &&
      message.compare(0, 5 + std::to_string(line).size() + 2,
                      "line " + std::to_string(line) + ": ") == 0) {
    object += ",\"line\":" + std::to_string(line);
  }
  object += ",\"games\":[]}\n";
  std::fwrite(object.data(), 1, object.size(), out);
}
