// Where the desktop programs keep their session records: one file a session
// in a folder of their own, named by the session's start time and best score
// so that names sort by time. The last 20 sessions are kept, and any older
// session whose ranked games still stand in the ranking.
//
// The folder is the program's own, but other things may lie in it: only
// regular files are ever written or removed (never through a symbolic link),
// and only files whose names the store makes and whose first line is the
// replay magic count as replays.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>

constexpr int kReplaysKept = 20;
// What one PruneReplays call may do at most: names listed, files opened (a
// first line or a whole replay read) and bytes read.
constexpr std::size_t kPruneListedPerCall = 20000;
constexpr int kPruneOpenedPerCall = 64;
constexpr unsigned long long kPruneReadPerCall = 16ull << 20;
// Sessions started in one second get counters up to this in their names.
constexpr int kMaxReplayNameCounter = 99;
extern const char kReplayExtension[];  // ".tavroreplay"

// "20261207-134501-best-1234.tavroreplay" for a session started at `start`
// (local time) with that best score; a counter above 1 keeps apart sessions
// started in the same second: "20261207-134501-2-best-1234.tavroreplay".
std::string ReplayFileName(std::time_t start, int bestScore, int counter = 1);

// The UTF-8 path of name in folder, joined by the system's separator.
std::string PathInFolder(const std::string& folder, const std::string& name);

// Whether name has the form ReplayFileName makes.
bool IsReplayFileName(const std::string& name);

// The file one session keeps its record in, between its writes.
struct StoredReplay {
  std::string folder;
  std::string name;  // empty until the first write
  int bestScore = 0;
};

// Writes the session's record (ReplayText) into folder. The session's file
// keeps its name while the best score stays; a new best score (or the first
// write) takes a new name created exclusively, trying counters 1, 2, ...
// while a name is taken, and then removes the session's file under its older
// name. Prunes the folder after a write. Returns false when the record could
// not be written; the game goes on either way.
bool StoreReplay(StoredReplay* session, const std::string& folder, std::time_t sessionStart);

// StoreReplay for the session running, unless it is a playback; the first
// failure says once on standard error why replays are missing.
void StoreSessionReplay(const std::string& folder, std::time_t sessionStart);
// The name StoreSessionReplay last wrote the running session's record under
// (empty before its first write).
const std::string& SessionReplayName();

// Removes replays that are neither among the newest kReplaysKept nor hold a
// game whose ranking row is still in World.ranking; `spare`, a name in the
// folder, is never removed (the running session's file). Files of other
// names or without the replay magic are neither removed nor counted among
// the kept. Each call does bounded work (see kPrune...); a folder with more
// to prune is pruned further by the next calls.
void PruneReplays(const std::string& folder, const std::string& spare = std::string());
