// A replay file read for watching: its events and header checked, and the
// frame of the game to jump to.
#pragma once

#include <string>
#include <vector>

#include "host/files.h"
#include "replay/script.h"

// Replays larger than this are refused unread.
constexpr unsigned long long kMaxReplayBytes = kMaxScriptBytes;

struct ReplaySession {
  std::vector<ScriptEvent> events;
  ScriptHeader header;
  // Frames 1 .. fastForwardTo - 1 run unseen (0: none).
  long long fastForwardTo = 0;
};

// Why a script or replay file was not read, as a message says it: "no such
// file", "not a regular file", "larger than 16 MiB", "cannot be read".
std::string WhyScriptNotRead(OpenFailure failure);

// Reads a whole script or replay file (UTF-8 path) through the safe opening:
// only a regular file of at most kMaxScriptBytes, never blocking on a FIFO
// or a device. False with the reason.
bool ReadScriptFile(const std::string& path, std::string* text, std::string* error);

// Reads, parses and checks a replay file (UTF-8 path); fromGame (1-based, 0:
// from the beginning) picks the game to jump to. False with a message.
bool LoadReplayFile(const std::string& path, int fromGame, ReplaySession* session,
                    std::string* error);
