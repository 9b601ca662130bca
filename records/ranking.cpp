#include "records/ranking.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "game/flow.h"
#include "host/window.h"
#include "records/name_width.h"
#include "replay/playback.h"
#include "replay/recorder.h"
#include "world/world.h"

const char kDefaultPlayerName[] = "-- Great player --";

namespace {

// The name-entry dialog; during playback the script gives the text.
bool AskName(char* typed, std::size_t capacity) {
  if (!PlaybackActive()) return PlatformNameEntry(typed, capacity);
  std::string text;
  if (!PlaybackTakeName(&text)) return false;
  std::snprintf(typed, capacity, "%s", text.c_str());
  return true;
}

bool IsControl(unsigned codePoint) {
  return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
}

}  // namespace

void CleanPlayerName(const char* typed, char* out) {
  std::size_t length = 0;
  int columns = 0;
  if (typed != nullptr) {
    const auto* s = reinterpret_cast<const unsigned char*>(typed);
    std::size_t remaining = std::strlen(typed);
    while (remaining > 0) {
      unsigned codePoint = 0;
      const int size = Utf8CharLength(s, remaining, &codePoint);
      if (size == 0) {  // a stray byte: dropped
        ++s;
        --remaining;
        continue;
      }
      const bool keep = !IsControl(codePoint) && !(codePoint == ' ' && length == 0);
      if (keep) {
        columns += CodePointColumns(codePoint);
        if (columns > kNameMaxColumns) break;  // the cut falls before this character
        std::memcpy(out + length, s, static_cast<std::size_t>(size));
        length += static_cast<std::size_t>(size);
      }
      s += size;
      remaining -= static_cast<std::size_t>(size);
    }
  }
  while (length > 0 && out[length - 1] == ' ') --length;
  out[length] = '\0';
}

void RecordRanking() {
  int place = 0;
  while (place < kRankingRows && World.ranking[place].score >= World.score) ++place;
  if (place == kRankingRows) {
    World.rankJustAchieved = 0;
    return;
  }

  // the rows below move down one; the old row 10 is dropped
  for (int row = kRankingRows - 2; row >= place; --row) {
    World.ranking[row + 1] = World.ranking[row];
  }

  ResetLevelState(kLowestGround);

  RankingEntry& entry = World.ranking[place];
  entry.score = World.score;
  entry.level = World.level;
  entry.rapid = RapidFlag;
  std::memset(entry.name, 0, sizeof entry.name);
  std::memcpy(entry.name, kDefaultPlayerName, sizeof kDefaultPlayerName);

  StartNewWave();

  ScreenWipe(0);
  Fireworks();
  ScreenWipe(0);

  // a dialog that could not be shown leaves the default name
  char typed[256] = {};
  if (AskName(typed, sizeof typed)) {
    typed[sizeof typed - 1] = '\0';
    char name[kNameMaxBytes + 1];
    CleanPlayerName(typed, name);
    ReplayNoteName(name);
    if (name[0] != '\0') {
      std::memset(entry.name, 0, sizeof entry.name);
      std::memcpy(entry.name, name, std::strlen(name) + 1);
    }
  }

  World.rankJustAchieved = place + 1;
  ReplayNoteRanked(entry);
}
