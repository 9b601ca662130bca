#include "records/ranking.h"

#include <cstring>

#include "game/flow.h"
#include "game/world.h"
#include "platform/platform.h"

const char kDefaultPlayerName[] = "-- Great player --";

namespace {

// Length of the well-formed UTF-8 character at s (at most `available` bytes),
// or 0 when the bytes there do not form one.
int Utf8CharLength(const unsigned char* s, std::size_t available, unsigned* codePoint) {
  const unsigned char lead = s[0];
  if (lead < 0x80) {
    *codePoint = lead;
    return 1;
  }
  int length;
  unsigned low = 0x80;
  unsigned high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (available < static_cast<std::size_t>(length)) return 0;
  if (s[1] < low || s[1] > high) return 0;
  unsigned value = lead & (0xFFu >> (length + 1));
  for (int i = 1; i < length; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    value = (value << 6) | (s[i] & 0x3Fu);
  }
  *codePoint = value;
  return length;
}

bool IsControl(unsigned codePoint) {
  return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
}

}  // namespace

void CleanPlayerName(const char* typed, char* out) {
  std::size_t length = 0;
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
        if (length + static_cast<std::size_t>(size) > static_cast<std::size_t>(kNameMaxBytes)) {
          break;  // the cut falls before this character
        }
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
  if (PlatformNameEntry(typed, sizeof typed)) {
    typed[sizeof typed - 1] = '\0';
    char name[kNameMaxBytes + 1];
    CleanPlayerName(typed, name);
    if (name[0] != '\0') {
      std::memset(entry.name, 0, sizeof entry.name);
      std::memcpy(entry.name, name, std::strlen(name) + 1);
    }
  }

  World.rankJustAchieved = place + 1;
}
