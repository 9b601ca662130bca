// Where the desktop programs keep their session records: one file a session
// in a folder of their own, named by the session's start time and best score
// so that names sort by time. The last 20 sessions are kept, and any older
// session whose ranked games still stand in the ranking.
#pragma once

#include <ctime>
#include <string>

constexpr int kReplaysKept = 20;
extern const char kReplayExtension[];  // ".tavroreplay"

// "20261207-134501-best-1234.tavroreplay" for a session started at `start`
// (local time) with that best score.
std::string ReplayFileName(std::time_t start, int bestScore);

// Writes the session's record (ReplayText) into folder under the name for
// its start and present best score, removes the file of the same session
// written under an older name, then prunes the folder. Returns false when
// the record could not be written; the game goes on either way.
bool StoreReplay(const std::string& folder, std::time_t sessionStart);

// StoreReplay for the session running, unless it is a playback; the first
// failure says once on standard error why replays are missing.
void StoreSessionReplay(const std::string& folder, std::time_t sessionStart);

// Removes the replays that are neither among the newest kReplaysKept nor
// hold a game whose ranking row is still in World.ranking.
void PruneReplays(const std::string& folder);
