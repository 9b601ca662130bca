#include "platform/headless/sim_runner.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <utility>

#include "app/program.h"
#include "app/window_proc.h"
#include "draw/repaint.h"
#include "game/world.h"
#include "platform/headless/headless_host.h"
#include "platform/headless/world_json.h"
#include "platform/surface/surface.h"
#include "records/settings.h"
#include "sound/sound.h"

namespace {

const char* const kCommands[] = {"click", "move",  "start",        "stop",  "rapid",
                                 "sound", "clear", "clear-cancel", "about", "repaint",
                                 "name",  "dump",  "exit"};

bool ParseInteger(const std::string& word, long long& value) {
  if (word.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtoll(word.c_str(), &end, 10);
  return errno == 0 && *end == '\0';
}

// Digits with an optional sign.
bool IsWholeNumber(const std::string& word) {
  const std::size_t start = !word.empty() && (word[0] == '-' || word[0] == '+') ? 1 : 0;
  return word.size() > start && word.find_first_not_of("0123456789", start) == std::string::npos;
}

// A client coordinate as a window message carries it: 16 bits, written
// signed or unsigned (the game reads the unsigned halves).
constexpr long long kCoordinateMin = -32768;
constexpr long long kCoordinateMax = 65535;

bool IsCommand(const std::string& word) {
  return std::find(std::begin(kCommands), std::end(kCommands), word) != std::end(kCommands);
}

bool ParseLine(const std::string& line, int number, SimEvent& event, std::string& error) {
  std::istringstream words(line);
  std::string frameWord;
  std::string command;
  words >> frameWord >> command;
  event.line = number;
  if (!ParseInteger(frameWord, event.frame) || event.frame < 0) {
    error = "line " + std::to_string(number) + ": bad frame number \"" + frameWord + "\"";
    return false;
  }
  if (!IsCommand(command)) {
    error = "line " + std::to_string(number) + ": unknown command \"" + command + "\"";
    return false;
  }
  event.command = command;
  if (command == "name") {
    // The rest of the line after one separating blank, kept as typed.
    const std::size_t at = line.find("name", line.find(frameWord) + frameWord.size());
    const std::size_t start = at + 4;
    event.text = start < line.size() ? line.substr(start + 1) : std::string();
    return true;
  }
  std::string extra;
  if (command == "click" || command == "move") {
    std::string xs;
    std::string ys;
    words >> xs >> ys;
    if (!IsWholeNumber(xs) || !IsWholeNumber(ys) || (words >> extra)) {
      error = "line " + std::to_string(number) + ": " + command + " needs two coordinates";
      return false;
    }
    const std::pair<const std::string&, int&> coordinates[] = {{xs, event.x}, {ys, event.y}};
    for (const auto& [word, coordinate] : coordinates) {
      long long value;
      if (!ParseInteger(word, value) || value < kCoordinateMin || value > kCoordinateMax) {
        error = "line " + std::to_string(number) + ": " + command + " coordinate " + word +
                " is outside " + std::to_string(kCoordinateMin) + ".." +
                std::to_string(kCoordinateMax);
        return false;
      }
      coordinate = static_cast<int>(value);
    }
    return true;
  }
  if (words >> extra) {
    error = "line " + std::to_string(number) + ": " + command + " takes no arguments";
    return false;
  }
  return true;
}

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

  // Delivers one event; returns false when the run ends (exit).
  bool Deliver(const SimEvent& e) {
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
      HeadlessSetConfirmAnswer(c == "clear");
      OnCommand(ID_GAME_CLEAR_RANKING);
    } else if (c == "about") {
      OnCommand(ID_HELP_ABOUT);
    } else if (c == "repaint") {
      RepaintAll();
    } else if (c == "name") {
      HeadlessQueueName(e.text);
    } else if (c == "dump") {
      Dump();
    } else if (c == "exit") {
      HeadlessSetConfirmAnswer(true);
      OnClose();
      Dump();
      return false;
    }
    return true;
  }

  long long framesRun_ = 0;

 private:
  const SimOptions& options_;
  std::FILE* out_;
  std::string line_;  // the last line written
};

}  // namespace

bool ParseSimScript(const std::string& text, std::vector<SimEvent>& events, std::string& error) {
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    SimEvent event;
    if (!ParseLine(line.substr(first), number, event, error)) return false;
    events.push_back(event);
  }
  // Events of one frame keep their file order.
  std::stable_sort(events.begin(), events.end(),
                   [](const SimEvent& a, const SimEvent& b) { return a.frame < b.frame; });
  return true;
}

int RunSimulation(const SimOptions& options, const std::vector<SimEvent>& events, std::FILE* out) {
  ClearWorldForStart();
  for (int& count : SoundEventCount) count = 0;
  HeadlessResetHost();
  ClearSurface();
  InitSurfaceFont();
  std::snprintf(BaseDirectory, sizeof BaseDirectory, "%s", options.baseDirectory.c_str());
  SetSettingsFilePath(options.iniPath);
  StartUp();

  Run run(options, out);
  std::size_t next = 0;
  bool running = true;
  auto deliverFrameEvents = [&](long long frame) {
    while (running && next < events.size() && events[next].frame == frame) {
      running = run.Deliver(events[next++]);
      // A close posted by the game is answered with the default button.
      if (running && HeadlessTakePostedClose()) {
        HeadlessSetConfirmAnswer(false);
        OnClose();
      }
    }
  };

  deliverFrameEvents(0);
  for (long long frame = 1; running && frame <= options.frames; ++frame) {
    deliverFrameEvents(frame);
    if (!running) break;
    RunFrame();
    run.framesRun_ = frame;
    if (options.dumpEvery > 0 && frame % options.dumpEvery == 0) run.Dump();
  }
  if (running) run.FinalDump();
  if (running) StopSound();
  if (!options.pngPath.empty() && !WriteSurfacePng(options.pngPath.c_str())) {
    std::fprintf(stderr, "tavro-sim: cannot write %s\n", options.pngPath.c_str());
    return 1;
  }
  return 0;
}
