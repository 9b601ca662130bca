#include "game/explosions.h"

#include <cstdint>
#include <cstdlib>

#include "world/world.h"

namespace {

constexpr int kStruckState = 255;
constexpr int kLastFallingState = 199;
constexpr int kStateCap = 501;
constexpr int kCappedState = 500;

// A lethal explosion of radius `reach` touches a rock when the squared centre
// distance is below the sum of the squared radii; the struck rock carries the
// explosion's chain value.
void StrikeTouchedMeteors(const Explosion& e, int reach) {
  for (Meteor& m : World.meteors) {
    if (m.state < 1 || m.state > kLastFallingState) continue;
    const std::int64_t dx = std::llabs(static_cast<std::int64_t>(e.x) - m.x);
    const std::int64_t dy = std::llabs(static_cast<std::int64_t>(e.y) - m.y);
    const std::int64_t r = m.radius;
    if (dx * dx + dy * dy >= r * r + static_cast<std::int64_t>(reach) * reach) continue;
    bool struck;
    if (m.hits <= 0) {
      struck = true;
    } else {
      m.hits--;
      struck = m.hits <= 1;
    }
    if (struck) {
      int state = e.chain + kStruckState;
      if (state > kStateCap) state = kCappedState;
      m.state = state;
    }
  }
}

}  // namespace

void DrawDisc(DeviceContext& dc, int x, int y, int r, Color color) {
  const Color previous = DcSelectBrush(dc, color);
  DcEllipse(dc, x - r, y - r, x + r, y + r);
  DcSelectBrush(dc, previous);
}

bool AddExplosion(int x, int y, int chain, int lethal) {
  for (Explosion& e : World.explosions) {
    if (e.stage == 0) {
      e.x = x;
      e.y = y;
      e.stage = 1;
      e.chain = chain;
      e.lethal = lethal;
      return true;
    }
  }
  return false;
}

void UpdateExplosions(DeviceContext& dc) {
  for (Explosion& e : World.explosions) {
    if (e.stage == 0) continue;
    DrawDisc(dc, e.x, e.y, ExplosionRadius[e.stage], kBlack);
    e.stage++;
    if (e.stage > kExplosionStages) {
      e.stage = 0;
      continue;
    }
    const int reach = ExplosionRadius[e.stage];
    DrawDisc(dc, e.x, e.y, reach, ColorCodeToRgb(FireColors[NextRandom() & 7]));
    if (e.lethal != 0) StrikeTouchedMeteors(e, reach);
  }
}
