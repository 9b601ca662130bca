#include "records/ranking.h"

#include <cstdio>
#include <cstring>

#include "records/name_width.h"
#include "world/world.h"

const char kDefaultPlayerName[] = "-- Great player --";

namespace {

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

int RankingPlaceIn(const RankingEntry* rows, int score) {
  int place = 0;
  while (place < kRankingRows && rows[place].score >= score) ++place;
  return place;
}

int RankingPlaceOf(int score) {
  return RankingPlaceIn(World.ranking, score);
}

void InsertRankingRow(int place, int score, int level, int rapid) {
  // the rows below move down one; the old row 10 is dropped
  for (int row = kRankingRows - 2; row >= place; --row) {
    World.ranking[row + 1] = World.ranking[row];
  }
  RankingEntry& entry = World.ranking[place];
  entry.score = score;
  entry.level = level;
  entry.rapid = rapid;
  std::memset(entry.name, 0, sizeof entry.name);
  std::memcpy(entry.name, kDefaultPlayerName, sizeof kDefaultPlayerName);
}

void NameRankingRow(int place, const char* name) {
  if (name[0] == '\0') return;
  RankingEntry& entry = World.ranking[place];
  std::memset(entry.name, 0, sizeof entry.name);
  std::memcpy(entry.name, name, std::strlen(name) + 1);
}

void CopyTypedName(const char* typed, std::size_t length, char* text, std::size_t capacity) {
  if (capacity == 0) return;
  std::size_t n = length < capacity - 1 ? length : capacity - 1;
  // typed[n] is the first byte left out; a continuation byte there means the
  // character before it is split and is left out too
  if (n < length) {
    while (n > 0 && (static_cast<unsigned char>(typed[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(text, typed, n);
  text[n] = '\0';
}
