// What the shared ranking needs from its host: HTTP requests moved off the
// frame's thread, the address a program offers before the player names one,
// a replay opened for watching, and the shared ranking dialog. Each host
// (platform/<host>/) links exactly one implementation.
#pragma once

#include <string>

// One request to the ranking server.
struct HttpRequest {
  int id = 0;          // handed back with the answer
  const char* method;  // "GET" or "POST"
  std::string url;     // absolute: "http://127.0.0.1:8080/api/v1/ranking?period=all"
  std::string body;    // POST: a replay file, sent as text/plain; charset=utf-8
};

// An answer that does not come within this is given up (status 0).
constexpr int kHttpTimeoutSeconds = 30;

// Starts the request and returns at once; the transfer runs where it cannot
// delay a frame. Every started request is answered exactly once, later and
// on the program's thread, by SessionHttpAnswer (app/session.h): the HTTP
// status and body, or status 0 when no answer came (no connection, a name
// not resolved, the timeout). Returns false, with no answer to come, when
// the request could not be started.
bool PlatformHttpStart(const HttpRequest& request);

// The server offered until the player names one: the page's own origin when
// the page was served by the ranking server, empty on the desktop.
std::string PlatformDefaultServer();

// Opens the replay file at path for watching, from the start of game
// fromGame (1-based), beside the player's own session: the desktop programs
// start a second copy of themselves with `--replay path --from-game N`, the
// page opens it in a new tab.
void PlatformWatchReplay(const std::string& path, int fromGame);

// Opens the shared ranking dialog, or brings it to the front. It is
// modeless: the frames go on while it is open. It shows SharedRankingView()
// (online/shared_ranking.h) and turns the player's actions into the
// Session... calls of that header.
void PlatformShowSharedRanking();
// The view changed: an open dialog shows it anew; a closed one does nothing.
void PlatformSharedRankingChanged();
// One line for the player that does not stop the game (a status bar): the
// outcome of a sent replay, or why it waits.
void PlatformShowOnlineStatus(const char* text);
