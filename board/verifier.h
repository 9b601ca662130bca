// Plays a replay in a child process of the runner, `tavro-sim --verify -
// --report json`, under limits set in the child before it starts: CPU time,
// address space, no core file, no file written, and the runner's own cap on
// the frames a replay may run. A crafted replay can at worst end its child.
#pragma once

#include <string>

#include "board/submission.h"

struct VerifierLimits {
  std::string simPath;                       // the runner's executable
  int cpuSeconds = 120;                      // RLIMIT_CPU of the child
  unsigned long long memoryBytes = 0;        // RLIMIT_AS of the child; 0: none
  long long maxFrames = 2LL * 60 * 60 * 50;  // 2 hours of play at 50 frames a second
  int wallSeconds = 0;                       // killed after this; 0: 4 x cpuSeconds + 30
};

struct VerifierRun {
  RunnerEnd end;
  std::string report;     // the runner's standard output (at most 8 MiB)
  double cpuSeconds = 0;  // user and system time of the child
  long maxRssKiB = 0;     // its peak resident memory
  std::string error;      // the child could not be started
};

// Runs the runner on the replay's text, given on its standard input.
VerifierRun RunVerifier(const VerifierLimits& limits, const std::string& replay);

// The runner beside the given executable, if there is one there.
std::string RunnerBeside(const std::string& executable);
