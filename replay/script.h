// Event scripts: the runner's input and the replay file format. One event a
// line, "FRAME COMMAND [ARGS]"; blank lines and lines starting with '#' are
// comments, except "#@ " lines, which carry a replay's header and results.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "replay/recorder.h"

// The largest script or replay file read: 16 MiB, as the settings file. A
// session that fires a shot in every frame writes some 20 bytes a frame, so
// 16 MiB holds over four hours of it; the parsed events of a file this size
// take some 200 MB at the very worst.
constexpr unsigned long long kMaxScriptBytes = 16ull << 20;

// What a session can make, and so what a replay may hold: 24 hours of frames
// at 50 a second, and on average at most kMaxEventsPerFrame events a frame
// (one shot a frame at most, now and then a menu command or a name), plus
// kExtraReplayEvents for the repaints made while a box holds the frames.
constexpr long long kMaxReplayFrames = 24LL * 60 * 60 * 50;
constexpr long long kMaxEventsPerFrame = 4;
constexpr long long kExtraReplayEvents = 100000;

// Bytes of a file quoted in a message at most.
constexpr std::size_t kMaxQuotedBytes = 40;

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

// A piece of a file as a message quotes it: its first kMaxQuotedBytes bytes,
// then "..." if there are more, with every byte that is not printable ASCII
// (and the backslash) written as "\xNN".
std::string QuoteFileText(std::string_view text);

// Parses a script; on a bad line returns false with a message naming it.
// Events come out ordered by frame, in file order within a frame. A replay
// (the first line is the magic) is refused beyond kMaxReplayFrames or with
// more events than its frames can hold; a newer replay format is refused at
// its first line.
bool ParseScript(const std::string& text, std::vector<ScriptEvent>& events, ScriptHeader& header,
                 std::string& error);

// Whether the text's first line is this format's replay magic; false with a
// message otherwise ("not a TAVRO replay", or a newer replay format).
bool CheckReplayStart(std::string_view text, std::string& error);

// A replay must come from this very program version; false with a message
// otherwise (also for a file that is no replay).
bool CheckReplayHeader(const ScriptHeader& header, std::string& error);
