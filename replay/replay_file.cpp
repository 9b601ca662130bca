#include "replay/replay_file.h"

#include <utility>

std::string WhyScriptNotRead(OpenFailure failure) {
  switch (failure) {
    case OpenFailure::Missing:
      return "no such file";
    case OpenFailure::NotRegular:
      return "not a regular file";
    case OpenFailure::TooLarge:
      return "larger than " + std::to_string(kMaxScriptBytes >> 20) + " MiB";
    default:
      return "cannot be read";
  }
}

bool ReadScriptFile(const std::string& path, std::string* text, std::string* error) {
  const OpenFailure failure = ReadWholeFile(path.c_str(), kMaxScriptBytes, text);
  if (failure == OpenFailure::None) return true;
  *error = WhyScriptNotRead(failure);
  return false;
}

bool LoadReplayFile(const std::string& path, int fromGame, ReplaySession* out, std::string* error) {
  std::string text;
  if (!ReadScriptFile(path, &text, error)) return false;
  // Anything else is named as such before its lines are looked at.
  if (!CheckReplayStart(text, *error)) return false;
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
