// The desktop programs' command line: "--replay FILE" or a bare FILE (as a
// file manager passes it), "--from-game N", "--help".
#pragma once

#include <string>
#include <vector>

// The largest game number --from-game takes.
constexpr int kMaxFromGame = 1000000;

struct ProgramOptions {
  bool help = false;
  std::string replayPath;  // empty: play
  int fromGame = 0;        // 0: the replay from its beginning
};

// Parses the arguments after the program's name (UTF-8). False with a
// message naming what is wrong.
bool ParseProgramArguments(const std::vector<std::string>& arguments, ProgramOptions* options,
                           std::string* error);

// The usage text for the program called programName, ending in a line feed.
std::string ProgramUsage(const char* programName);
