#include "game/meteors.h"

#include "game/explosions.h"
#include "game/spawn.h"
#include "sound/sound.h"
#include "world/world.h"

namespace {

constexpr int kSplitterBreakChance = 1000;

void Land(Meteor& m, int r) {
  m.state = 0;
  World.liveMeteors--;
  // Only a disc that overlaps the field lands with effect.
  if (!(1 - r < m.x && m.x < 511 + r)) return;
  if (World.groundY > kGameOverHeight && World.demoMode == 0) World.groundY -= 3 * r / 4;
  if (World.demoMode == 0) PlaySoundEvent(kSoundLands);
  AddExplosion(m.x, World.groundY, 0, 0);
}

void AddPopup(int x, int y, int points) {
  for (ScorePopup& p : World.popups) {
    if (p.age == 0) {
      p.x = x;
      p.y = y;
      p.points = points;
      p.age = 1;
      return;
    }
  }
}

void Destroy(int slot, int r) {
  Meteor& m = World.meteors[slot];
  const int multiplier = m.state - 254;
  World.liveMeteors--;
  if (World.demoMode == 0) PlaySoundEvent(kSoundDestroyed);
  AddExplosion(m.x, m.y, 2 * multiplier, 1);
  if (World.demoMode == 0) {
    const int points = m.dy * r * multiplier;
    AddScore(points);
    AddPopup(m.x - 20, m.y - 8, points);
  }
  const bool wasSplitter = m.hits == kSplitterHits;
  const int x = m.x;
  const int y = m.y;
  m.state = 0;
  if (World.reserveMeteors > 0) {
    World.reserveMeteors--;
    const int newX = NextRandom() & 511;
    const int newY = (NextRandom() & 1023) - 1024;
    SpawnMeteor(newX, newY, slot, 1);
  }
  if (wasSplitter) {
    for (int i = 0; i < 3; ++i) SpawnInFreeSlot(x, y);
  }
}

Color MeteorColor(const Meteor& m) {
  if (m.hits == kSplitterHits) return ColorCodeToRgb(IceColors[NextRandom() & 7]);
  if (m.hits == 1) return m.color;
  return ColorCodeToRgb(NextRandom() & 7);
}

}  // namespace

void UpdateMeteors(DeviceContext& dc) {
  for (int slot = 0; slot < kMeteorCount; ++slot) {
    Meteor& m = World.meteors[slot];
    if (m.state == 0) continue;
    const int r = m.radius;
    DrawDisc(dc, m.x, m.y, r, kBlack);
    if (m.hits == kSplitterHits && NextRandom() < kSplitterBreakChance) m.state = 255;
    if (m.state >= 255) {
      Destroy(slot, r);
      continue;
    }
    m.x += m.dx;
    m.y += m.dy;
    if (m.y > World.groundY) {
      Land(m, r);
      continue;
    }
    DrawDisc(dc, m.x, m.y, r, MeteorColor(m));
  }
}
