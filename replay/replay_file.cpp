#include "replay/replay_file.h"

#include <utility>

#include "host/files.h"

namespace {

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

}  // namespace

bool LoadReplayFile(const std::string& path, int fromGame, ReplaySession* out, std::string* error) {
  std::string text;
  const OpenFailure failure = ReadWholeFile(path.c_str(), kMaxReplayBytes, &text);
  if (failure != OpenFailure::None) {
    *error = WhyNotOpened(failure);
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
