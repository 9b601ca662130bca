#include "game/flow.h"

#include "game/explosions.h"
#include "game/spawn.h"
#include "host/window.h"
#include "sound/sound.h"
#include "surface/surface.h"
#include "world/world.h"

namespace {

constexpr int kStartPause = 30;
constexpr int kWipeSteps = 256;
constexpr int kFireworksSteps = 192;
constexpr int kBurstChance = 5000;

bool showPausesSkipped = false;

// A pause of a show, the surface shown first.
void ShowPause(int milliseconds) {
  if (!showPausesSkipped) PlatformSleep(milliseconds);
}

}  // namespace

void ResetLevelState(int groundY) {
  World.liveMeteors = 0;
  World.groundRecovery = 0;
  World.reserveMeteors = 0;
  World.reservePerLevel = 0;
  World.pauseFrames = kStartPause;
  World.groundY = groundY;
  World.prevGroundY = groundY;
}

void StartNewWave() {
  ResetWorld();
  World.liveMeteors = 0;
  FillWave();
}

void StartGame() {
  World.demoMode = 0;
  ResetLevelState(kLowestGround);
  StartNewWave();
  ScreenWipe(1);
  World.score = 0;
  World.level = 0;
  World.shotsThisFrame = 0;
  World.frameTick = 0;
  World.rankJustAchieved = 0;
}

void EnterDemoMode() {
  if (World.demoMode == 0) {
    ResetLevelState(kLowestGround);
    StartNewWave();
    ScreenWipe(0);
    Fireworks();
  }
  World.demoMode = 1;
  ResetLevelState(kDemoGround);
  StartNewWave();
  ScreenWipe(1);
  World.frameTick = 0;
}

void ScreenWipe(int paced) {
  DeviceContext dc = GetWindowDc();
  const StockPen previous = DcSelectPen(dc, StockPen::Black);
  for (int k = 0; k < kWipeSteps; ++k) {
    DcMoveTo(dc, 0, 2 * k);
    DcLineTo(dc, 512, 2 * k);
    DcMoveTo(dc, 0, 511 - 2 * k);
    DcLineTo(dc, 511, 511 - 2 * k);
    if (paced == 1 && (k & 1)) ShowPause(1);
  }
  DcSelectPen(dc, previous);
  ReleaseWindowDc(dc);
}

void Fireworks() {
  DeviceContext dc = GetWindowDc();
  PlaySoundEvent(kSoundFireworks);
  for (int step = 0; step < kFireworksSteps; ++step) {
    if (NextRandom() < kBurstChance) {
      PlaySoundEvent(kSoundFireworks);
      const int y = NextRandom() & 511;
      const int x = NextRandom() & 511;
      AddExplosion(x, y, 0, 0);
    }
    UpdateExplosions(dc);
    ShowPause(2);
  }
  ReleaseWindowDc(dc);
}

void SetShowPausesSkipped(bool skipped) {
  showPausesSkipped = skipped;
}
