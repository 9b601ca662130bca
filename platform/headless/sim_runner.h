// The headless runner: the program's start-up, frames and window messages
// driven by a script, with JSON dumps of the world.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

struct SimEvent {
  long long frame;
  int line;
  std::string command;
  int x = 0;
  int y = 0;
  std::string text;  // the typed name of a `name` event
};

struct SimOptions {
  long long frames = 0;
  std::string iniPath;      // empty: no file read or written
  long long dumpEvery = 0;  // 0: no periodic dumps
  std::string pngPath;
  std::string baseDirectory;  // where the sound files are looked for
};

// Parses a script; on a bad line returns false with a message naming it.
bool ParseSimScript(const std::string& text, std::vector<SimEvent>& events, std::string& error);

// Runs the whole contract; JSON lines go to `out`. Returns the exit status.
int RunSimulation(const SimOptions& options, const std::vector<SimEvent>& events, std::FILE* out);
