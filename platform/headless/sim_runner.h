// The headless runner: the program's start-up, frames and window messages
// driven by a script, with JSON dumps of the world.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "replay/script.h"

using SimEvent = ScriptEvent;

struct SimOptions {
  long long frames = 0;
  std::string iniPath;      // empty: no file read or written
  long long dumpEvery = 0;  // 0: no periodic dumps
  std::string pngPath;
  std::string baseDirectory;  // where the sound files are looked for
  // settings and ranking loaded at start-up instead of the file's (a replay's)
  std::optional<std::string> startSettings;
  bool quiet = false;  // no JSON lines
};

// Parses a script or a replay (which must come from this program version);
// on a bad line returns false with a message naming it. The replay's header
// goes to *header when given.
bool ParseSimScript(const std::string& text, std::vector<SimEvent>& events, std::string& error,
                    ScriptHeader* header = nullptr);

// The frame of the last event: how far a replay runs.
long long LastEventFrame(const std::vector<SimEvent>& events);

// Runs the whole contract; JSON lines go to `out`. Returns the exit status.
// *gameInPlay, when given, tells whether a game was still running after the
// last frame (neither over, nor stopped, nor ended by an exit).
int RunSimulation(const SimOptions& options, const std::vector<SimEvent>& events, std::FILE* out,
                  bool* gameInPlay = nullptr);

// Runs a replay from its own settings and writes, for each game, the result
// recorded in the file against the one obtained:
//   game N: recorded score S level L, replayed score S level L[  DIFFERENT]
// A game still running after the replay's last event, with no result
// recorded for it, is not compared but named:
//   game N: unfinished at the replay's end
// The last line sums up: "verified: G game(s), 0 different" when all agree,
// else "FAILED: G game(s), D different" followed by ", 1 unfinished" for an
// unfinished game (counted among the G). 0 when all agree, 1 otherwise.
//
// With VerifyReport::Json the same comparison is written as one JSON object
// on one line, for programs:
//   {"version":V,"verdict":"verified"|"failed","games":[G...],
//    "different":D,"unfinished":U}
// where V is this program's version and each G is
//   {"index":N,"recorded":{"score":S,"level":L}|null,
//    "replayed":{"score":S,"level":L,"frame":F,"trace":X}|null,
//    "agreed":B,"unfinished":B,"place":P,"name":T}
// P is the place (1-based) the replayed game took in the session's own
// ranking, 0 when none, and T the name stored in that row ("" when none);
// F is the frames run at its end and X the trace of its play (16 hex
// digits, see GameResult).
// The unfinished game has no result on either side and is not agreed.
enum class VerifyReport { Text, Json };
int VerifyReplay(const SimOptions& options, const std::vector<SimEvent>& events,
                 const ScriptHeader& header, std::FILE* out,
                 VerifyReport report = VerifyReport::Text);

// Why a replay to verify was refused before it was played, as the JSON
// report names it.
enum class VerifyRefusal {
  File,      // not read: missing, not a regular file, too large
  Format,    // no replay, or a newer replay format
  Version,   // recorded by another program version
  Settings,  // no "#@ ini" lines
  Line,      // a bad line (its number is given)
  Events,    // more events than a session can make
  TooLong,   // beyond the frames allowed by --max-frames
};
// The JSON object of a refusal, on one line:
//   {"version":V,"verdict":"refused","refusal":K,"message":M[,"line":L],
//    "games":[]}
// with the line number taken from a message that begins "line L: ".
void WriteVerifyRefusalJson(std::FILE* out, VerifyRefusal refusal, const std::string& message);
