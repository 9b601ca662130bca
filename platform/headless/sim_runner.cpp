#include "platform/headless/sim_runner.h"

#include <algorithm>
#include <cstdio>
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

int VerifyReplay(const SimOptions& options, const std::vector<SimEvent>& events,
                 const ScriptHeader& header, std::FILE* out) {
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
  int differences = 0;
  for (std::size_t i = 0; i < games; ++i) {
    std::string recorded = "none";
    std::string obtained = "none";
    if (i < header.games.size()) {
      recorded = "score " + std::to_string(header.games[i].score) + " level " +
                 std::to_string(header.games[i].level);
    }
    if (i < got.size()) {
      obtained = "score " + std::to_string(got[i].score) + " level " + std::to_string(got[i].level);
    }
    const bool same = recorded == obtained;
    differences += same ? 0 : 1;
    std::fprintf(out, "game %zu: recorded %s, replayed %s%s\n", i + 1, recorded.c_str(),
                 obtained.c_str(), same ? "" : "  DIFFERENT");
  }
  if (unfinished) std::fprintf(out, "game %zu: unfinished at the replay's end\n", games + 1);
  const bool agreed = differences == 0 && !unfinished;
  std::fprintf(out, "%s: %zu game(s), %d different%s\n", agreed ? "verified" : "FAILED",
               games + (unfinished ? 1 : 0), differences, unfinished ? ", 1 unfinished" : "");
  return agreed ? 0 : 1;
}
