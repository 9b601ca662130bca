// The session's record: every event that changes the world, in the runner's
// script format, stamped with the frame before which the runner must deliver
// it. The world has one random source that is never reseeded, so these events
// decide the whole session. Recording appends to a buffer; the host writes
// it out when asked (after a game and at the end).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RankingEntry;

// First line of every replay, and the program version that made it.
extern const char kReplayMagic[];    // "#@ tavro-replay 1"
extern const char kReplayVersion[];  // the program version, e.g. "1.5.0"

struct GameResult {
  int score;
  int level;  // 0-based, as in the world
  // Where the game went in the session's own ranking: the row's 1-based
  // place (0: it entered none) and the name stored in that row, as the
  // game-over show left it. A replay's "#@ game" lines carry neither.
  int place = 0;
  std::string name = {};
  // The frames run when it ended, and a 64-bit trace of its play: score,
  // level, ground and rocks in play after each of its frames. Two sessions
  // that play the same game get the same trace, whatever else their
  // records hold (comments, names, boxes opened, pointer moves that shoot
  // nothing); different plays all but never do.
  long long frame = 0;
  std::uint64_t trace = 0;
};

// Starts a new session record after the settings were loaded: header with
// the program version and the loaded settings and ranking. Results and frame
// count start from zero; recording is on.
void ReplayBeginSession();
// Whether events go into the text (off while a replay plays back). Game
// results, with their ranking places and names, are kept either way.
void ReplaySetRecording(bool on);
bool ReplayRecording();

// Frames run since the session began.
long long ReplayFramesRun();

// Hooks of the window procedure and the game; see the runner's commands.
void ReplayNoteCommand(const char* command);
void ReplayNotePoint(const char* command, int x, int y);
// The name given to the dialog that a frame opened (delivered before it).
void ReplayNoteName(const char* name);
// A game entered the ranking with this row (its name already given), at the
// place World.rankJustAchieved holds; the next game end takes both.
void ReplayNoteRanked(const RankingEntry& row);
// A game ends now (game over, stop, new game or exit during play).
void ReplayNoteGameEnd();
// Called by the frame step after each frame.
void ReplayNoteFrameDone(bool wasPlaying);

const std::string& ReplayText();
const std::vector<GameResult>& ReplayGameResults();
// The best score of the session's games (0 when none).
int ReplayBestScore();
// True once after each game end: a good moment for the host to write the
// record.
bool ReplayTakeWriteRequest();
