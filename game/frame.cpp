#include "game/frame.h"

#include "game/explosions.h"
#include "game/meteors.h"
#include "game/spawn.h"
#include "world/world.h"

namespace {

constexpr int kLineEndX = 511;
constexpr int kUfoRadius = 25;
constexpr int kUfoLeft = -50;
constexpr int kUfoRight = 562;
constexpr int kUfoStartChance = 10;
constexpr int kUfoDropChance = 3000;
constexpr int kUfoLevel = 6;
constexpr int kDemoWrapLevel = 30;
constexpr int kDemoWrapReserve = 300;

void HorizontalLine(DeviceContext& dc, int y, int endX) {
  DcMoveTo(dc, 0, y);
  DcLineTo(dc, endX, y);
}

void ClearTopBand() {
  DeviceContext dc = GetWindowDc();
  const StockPen previous = DcSelectPen(dc, StockPen::Black);
  for (int y = 0; y < 20; ++y) HorizontalLine(dc, y, 512);
  DcSelectPen(dc, previous);
  ReleaseWindowDc(dc);
}

}  // namespace

void MoveStars(DeviceContext& dc) {
  for (Star& star : World.stars) {
    DcSetPixel(dc, star.x, star.y, kBlack);
    star.y += star.speed;
    if (star.y > kLowestGround) star.y = 0;
    if (star.y < World.groundY) DcSetPixel(dc, star.x, star.y, star.color);
  }
}

void MaybeStartUfo() {
  const int chance = NextRandom();
  if (chance < kUfoStartChance && World.ufo.active == 0 && World.level >= kUfoLevel) {
    World.ufo.active = 1;
    if (NextRandom() & 1) {
      World.ufo.x = kUfoLeft;
      World.ufo.dx = 1;
    } else {
      World.ufo.x = kUfoRight;
      World.ufo.dx = -1;
    }
    World.ufo.y = (NextRandom() & 63) + 20;
  }
}

void MoveUfo(DeviceContext& dc) {
  Ufo& ufo = World.ufo;
  if (ufo.active != 1) return;
  DrawDisc(dc, ufo.x, ufo.y, kUfoRadius, kBlack);
  if (NextRandom() < kUfoDropChance) SpawnInFreeSlot(ufo.x, ufo.y);
  ufo.x += ufo.dx;
  if (ufo.x < kUfoLeft || ufo.x > kUfoRight) {
    ufo.active = 0;
  } else {
    DrawUfoOutline(dc);
  }
}

void DrawGround(DeviceContext& dc, bool play) {
  const StockPen previous = DcSelectPen(dc, StockPen::Black);
  HorizontalLine(dc, World.prevGroundY, kLineEndX);
  if (play && World.groundRecovery != 0) {
    World.groundRecovery--;
    World.groundY++;
    if (World.groundY > kLowestGround) World.groundY = kLowestGround;
  }
  DcSelectPen(dc, StockPen::White);
  HorizontalLine(dc, World.groundY, kLineEndX);
  if (play) {
    HorizontalLine(dc, kLowestGround, kLineEndX);
    HorizontalLine(dc, kGameOverHeight, kLineEndX);
  }
  DcSelectPen(dc, previous);
  World.prevGroundY = World.groundY;
}

void AdvanceLevel(bool play) {
  World.level++;
  ClearTopBand();
  World.reservePerLevel += 10;
  if (!play && World.level >= kDemoWrapLevel) {
    World.level -= kDemoWrapLevel;
    World.reservePerLevel -= kDemoWrapReserve;
  }
  World.liveMeteors = 0;
  World.reserveMeteors = World.reservePerLevel;
  FillWave();
  World.pauseFrames = play ? 100 : 15;
  if (play) {
    World.groundRecovery = (kLowestGround - World.groundY) / 2;
    if (World.groundRecovery < 30) World.groundRecovery = 30;
  }
}

void DrawUfoOutline(DeviceContext& dc) {
  const Color previousBrush = DcSelectBrush(dc, kBlack);
  const StockPen previousPen = DcSelectPen(dc, StockPen::White);
  const Ufo& ufo = World.ufo;
  DcEllipse(dc, ufo.x - kUfoRadius, ufo.y - kUfoRadius, ufo.x + kUfoRadius, ufo.y + kUfoRadius);
  DcSelectBrush(dc, previousBrush);
  DcSelectPen(dc, previousPen);
}
