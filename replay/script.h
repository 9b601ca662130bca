// Event scripts: the runner's input and the replay file format. One event a
// line, "FRAME COMMAND [ARGS]"; blank lines and lines starting with '#' are
// comments, except "#@ " lines, which carry a replay's header and results.
#pragma once

#include <string>
#include <vector>

#include "replay/recorder.h"

struct ScriptEvent {
  long long frame;
  int line;
  std::string command;
  int x = 0;
  int y = 0;
  std::string text;  // the typed name of a `name` event
};

struct ScriptHeader {
  bool isReplay = false;  // the first line is the replay magic
  std::string version;    // "#@ version"
  bool hasSettings = false;
  std::string settingsText;       // the "#@ ini" lines, joined
  std::vector<GameResult> games;  // "#@ game" lines, in order
};

// Parses a script; on a bad line returns false with a message naming it.
// Events come out ordered by frame, in file order within a frame.
bool ParseScript(const std::string& text, std::vector<ScriptEvent>& events, ScriptHeader& header,
                 std::string& error);

// A replay must come from this very program version; false with a message
// otherwise (also for a file that is no replay).
bool CheckReplayHeader(const ScriptHeader& header, std::string& error);
