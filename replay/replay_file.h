// A replay file read for watching: its events and header checked, and the
// frame of the game to jump to.
#pragma once

#include <string>
#include <vector>

#include "replay/script.h"

// Replays larger than this are refused unread.
constexpr unsigned long long kMaxReplayBytes = 256ull << 20;

struct ReplaySession {
  std::vector<ScriptEvent> events;
  ScriptHeader header;
  // Frames 1 .. fastForwardTo - 1 run unseen (0: none).
  long long fastForwardTo = 0;
};

// Reads, parses and checks a replay file (UTF-8 path); fromGame (1-based, 0:
// from the beginning) picks the game to jump to. False with a message.
bool LoadReplayFile(const std::string& path, int fromGame, ReplaySession* session,
                    std::string* error);
