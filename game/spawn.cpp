#include "game/spawn.h"

#include <cstdint>

#include "world/world.h"

namespace {

constexpr int kSplitterChance = 3000;
constexpr int kSplitterLevel = 12;

// (3 * rapid + 100) * level + 1000 without overflow: the product saturates,
// which only matters where 32-bit arithmetic would have overflowed.
std::int64_t ToughThreshold(int rapid, int level) {
  const std::int64_t factor = 3 * static_cast<std::int64_t>(rapid) + 100;
  const std::int64_t lvl = level;
  std::int64_t product;
  const std::int64_t absFactor = factor < 0 ? -factor : factor;
  const std::int64_t absLevel = lvl < 0 ? -lvl : lvl;
  if (absLevel != 0 && absFactor > INT64_MAX / absLevel) {
    product = ((factor < 0) != (lvl < 0)) ? -INT64_MAX : INT64_MAX;
  } else {
    product = factor * lvl;
  }
  return product > INT64_MAX - 1000 ? INT64_MAX : product + 1000;
}

int Toughness(int rapid, int level) {
  const std::int64_t next = static_cast<std::int64_t>(level) + 1;
  std::int64_t hits;
  if (rapid != 0) {
    hits = (next / 4 + 10) * 10;
    if (hits > 300) hits = 300;
  } else {
    hits = (next / 5 + 4) * 5;
    if (hits > 50) hits = 50;
  }
  return static_cast<int>(hits);
}

}  // namespace

void SpawnMeteor(int x, int y, int slot, int fast) {
  static const Color kClassColors[4] = {kWhite, Rgb(255, 255, 0), Rgb(0, 255, 255), Rgb(255, 0, 0)};
  Meteor& m = World.meteors[slot];
  const int level = World.level;
  m.state = 1;
  m.x = x;
  m.y = y;
  World.liveMeteors++;
  m.radius = (NextRandom() & 4) + 5;

  if (NextRandom() < kSplitterChance && level >= kSplitterLevel) {
    const int sign = (NextRandom() & 1) ? 1 : -1;
    m.dx = sign * (NextRandom() & 3);
    m.radius = 20;
    m.dy = (NextRandom() & 7) + 5;
    m.hits = kSplitterHits;
    return;
  }

  const int a = NextRandom() & 3;
  if (a >= 2) {
    m.dx = 0;
  } else {
    m.dx = NextRandom() & 3;
    if (a == 0) m.dx = -m.dx;
  }

  const int speedClass = NextRandom() & 3;
  m.dy = 3 * speedClass + 3;
  if (speedClass <= 1) {
    if (fast || level >= 9) m.dy = 12;
    if (fast || level >= 19) m.dy = 17;
    if (fast || level >= 29) m.dy = 21;
  }

  const int kindDraw = NextRandom();
  if (kindDraw > ToughThreshold(RapidFlag, level)) {
    m.hits = 1;
    m.color = kClassColors[speedClass];
    return;
  }
  m.hits = Toughness(RapidFlag, level);
  m.radius *= 2;
  if (m.dy > 15) m.dy = (NextRandom() & 7) + 8;
}

void FillWave() {
  World.liveMeteors = 0;
  for (int slot = 0; slot < kMeteorCount; ++slot) {
    const int used = NextRandom() & 1;
    World.meteors[slot].state = used;
    if (used) {
      const int x = NextRandom() & 511;
      const int y = (NextRandom() & 1023) - 1024;
      SpawnMeteor(x, y, slot, 0);
    }
  }
}

void SpawnInFreeSlot(int x, int y) {
  for (int slot = 0; slot < kMeteorCount; ++slot) {
    if (World.meteors[slot].state == 0) {
      SpawnMeteor(x, y, slot, 1);
      return;
    }
  }
}
