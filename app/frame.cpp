#include "app/frame.h"

#include "app/game_over.h"
#include "draw/attract.h"
#include "draw/repaint.h"
#include "game/explosions.h"
#include "game/flow.h"
#include "game/frame.h"
#include "game/meteors.h"
#include "world/world.h"

namespace {

// The common frame; `play` selects the play frame's differences.
int Frame(bool play) {
  DeviceContext dc = GetWindowDc();
  MoveStars(dc);
  UpdateExplosions(dc);
  if (World.pauseFrames != 0) {
    World.pauseFrames--;
  } else {
    UpdateMeteors(dc);
    MaybeStartUfo();
  }
  MoveUfo(dc);
  UpdateScorePopups(dc);
  DrawGround(dc, play);
  if (play) {
    DrawStatusLine(dc);
  } else {
    DrawAttractScreen(dc);
  }
  ReleaseWindowDc(dc);

  if (play && World.groundY <= kGameOverHeight) {
    RecordRanking();
    EnterDemoMode();
  }
  if (World.liveMeteors > 0 || World.ufo.active == 1) return 1;
  AdvanceLevel(play);
  return 1;
}

}  // namespace

int PlayFrame() {
  return Frame(true);
}

int DemoFrame() {
  return Frame(false);
}
