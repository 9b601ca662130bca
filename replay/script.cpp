#include "replay/script.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <utility>

namespace {

const char* const kCommands[] = {"click", "move",  "start",        "stop",       "rapid",
                                 "sound", "clear", "clear-cancel", "about",      "repaint",
                                 "name",  "dump",  "exit",         "exit-cancel"};

bool ParseInteger(const std::string& word, long long& value) {
  if (word.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtoll(word.c_str(), &end, 10);
  return errno == 0 && *end == '\0';
}

std::string AtLine(int number) {
  return "line " + std::to_string(number) + ": ";
}

bool IsCommand(const std::string& word) {
  return std::find(std::begin(kCommands), std::end(kCommands), word) != std::end(kCommands);
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

bool ParsePoint(std::istringstream& words, const std::string& command, int number,
                ScriptEvent& event, std::string& error) {
  std::string xs;
  std::string ys;
  std::string extra;
  words >> xs >> ys;
  if (!IsWholeNumber(xs) || !IsWholeNumber(ys) || (words >> extra)) {
    error = AtLine(number) + command + " needs two coordinates";
    return false;
  }
  const std::pair<const std::string&, int&> coordinates[] = {{xs, event.x}, {ys, event.y}};
  for (const auto& [word, coordinate] : coordinates) {
    long long value;
    if (!ParseInteger(word, value) || value < kCoordinateMin || value > kCoordinateMax) {
      error = AtLine(number) + command + " coordinate " + word + " is outside " +
              std::to_string(kCoordinateMin) + ".." + std::to_string(kCoordinateMax);
      return false;
    }
    coordinate = static_cast<int>(value);
  }
  return true;
}

bool ParseEventLine(const std::string& line, int number, ScriptEvent& event, std::string& error) {
  std::istringstream words(line);
  std::string frameWord;
  std::string command;
  words >> frameWord >> command;
  event.line = number;
  if (!ParseInteger(frameWord, event.frame) || event.frame < 0) {
    error = AtLine(number) + "bad frame number \"" + frameWord + "\"";
    return false;
  }
  if (!IsCommand(command)) {
    error = AtLine(number) + "unknown command \"" + command + "\"";
    return false;
  }
  event.command = command;
  if (command == "name") {
    // The rest of the line after one separating blank, kept as typed.
    const std::size_t start = line.find("name", frameWord.size()) + 4;
    event.text = start < line.size() ? line.substr(start + 1) : std::string();
    return true;
  }
  if (command == "click" || command == "move") {
    return ParsePoint(words, command, number, event, error);
  }
  std::string extra;
  if (words >> extra) {
    error = AtLine(number) + command + " takes no arguments";
    return false;
  }
  return true;
}

// "#@ KEY VALUE" lines of a replay.
bool ParseHeaderLine(const std::string& line, int number, ScriptHeader& header,
                     std::string& error) {
  const std::string body = line.substr(3);
  const std::size_t blank = body.find(' ');
  const std::string key = body.substr(0, blank);
  const std::string value = blank == std::string::npos ? std::string() : body.substr(blank + 1);
  if (key == "version") {
    header.version = value;
  } else if (key == "ini") {
    header.hasSettings = true;
    header.settingsText += value;
    header.settingsText += '\n';
  } else if (key == "game") {
    std::istringstream words(value);
    long long index;
    std::string scoreWord;
    std::string levelWord;
    long long score;
    long long level;
    if (!(words >> index >> scoreWord >> score >> levelWord >> level) || scoreWord != "score" ||
        levelWord != "level" || score < INT32_MIN || score > INT32_MAX || level < INT32_MIN ||
        level > INT32_MAX) {
      error = AtLine(number) + "bad game result";
      return false;
    }
    header.games.push_back({static_cast<int>(score), static_cast<int>(level)});
  } else if (key != "tavro-replay" && key != "ranked") {
    error = AtLine(number) + "unknown replay line \"" + key + "\"";
    return false;
  }
  return true;
}

}  // namespace

bool ParseScript(const std::string& text, std::vector<ScriptEvent>& events, ScriptHeader& header,
                 std::string& error) {
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (number == 1 && line == kReplayMagic) header.isReplay = true;
    if (header.isReplay && line.rfind("#@ ", 0) == 0) {
      if (!ParseHeaderLine(line, number, header, error)) return false;
      continue;
    }
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    ScriptEvent event;
    if (!ParseEventLine(line.substr(first), number, event, error)) return false;
    events.push_back(event);
  }
  std::stable_sort(events.begin(), events.end(),
                   [](const ScriptEvent& a, const ScriptEvent& b) { return a.frame < b.frame; });
  return true;
}

bool CheckReplayHeader(const ScriptHeader& header, std::string& error) {
  if (!header.isReplay) {
    error = std::string("not a TAVRO replay (line 1 is not \"") + kReplayMagic + "\")";
    return false;
  }
  if (header.version != kReplayVersion) {
    error = "recorded by TAVRO version \"" + header.version + "\", this is version " +
            kReplayVersion + ": the game's rules may differ";
    return false;
  }
  if (!header.hasSettings) {
    error = "the replay holds no settings (\"#@ ini\" lines)";
    return false;
  }
  return true;
}
