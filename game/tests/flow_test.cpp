#include "game/flow.h"
#include "game/tests/fresh_world.h"

class FlowTest : public FreshWorld {
 protected:
  void SetUp() override {
    FreshWorld::SetUp();
    SoundFlag = 1;
  }
};

TEST_F(FlowTest, StartGameFillsTheWaveAtTheOldLevelThenClearsIt) {
  World.demoMode = 1;
  World.level = 12;
  World.score = 999;
  World.rankJustAchieved = 4;
  World.frameTick = 1;
  StartGame();
  EXPECT_EQ(World.demoMode, 0);
  EXPECT_EQ(World.level, 0);
  EXPECT_EQ(World.score, 0);
  EXPECT_EQ(World.rankJustAchieved, 0);
  EXPECT_EQ(World.frameTick, 0);
  EXPECT_EQ(World.groundY, 470);
  EXPECT_EQ(World.prevGroundY, 470);
  EXPECT_EQ(World.pauseFrames, 30);
  EXPECT_EQ(World.reservePerLevel, 0);
  int live = 0;
  for (const Meteor& m : World.meteors) live += m.state == 1;
  EXPECT_EQ(World.liveMeteors, live);
  EXPECT_EQ(HeadlessCounters().sleeps, 128);  // the paced wipe
}

TEST_F(FlowTest, StopFromPlayRunsFireworksThenTheDemo) {
  World.demoMode = 0;
  World.score = 77;
  World.level = 3;
  EnterDemoMode();
  EXPECT_EQ(World.demoMode, 1);
  EXPECT_EQ(World.groundY, 430);
  EXPECT_EQ(World.score, 77);
  EXPECT_EQ(World.level, 3);
  EXPECT_GE(SoundEventCount[kSoundFireworks], 1);
  EXPECT_EQ(HeadlessCounters().sleeps, 192 + 128);  // fireworks, then the paced wipe
  for (const Explosion& e : World.explosions) EXPECT_EQ(e.stage, 0);
}

TEST_F(FlowTest, DemoRestartRunsOnlyTheDemoHalf) {
  World.demoMode = 1;
  World.level = 7;
  EnterDemoMode();
  EXPECT_EQ(SoundEventCount[kSoundFireworks], 0);
  EXPECT_EQ(HeadlessCounters().sleeps, 128);
  EXPECT_EQ(World.level, 7);
  EXPECT_EQ(World.groundY, 430);
  EXPECT_EQ(World.pauseFrames, 30);
}

TEST_F(FlowTest, SaucerKeepsFlyingAcrossModes) {
  World.ufo = Ufo{1, 200, 40, -1};
  StartGame();
  EnterDemoMode();
  EXPECT_EQ(World.ufo.active, 1);
  EXPECT_EQ(World.ufo.x, 200);
}

TEST_F(FlowTest, WipeBlackensEveryRowFromBothEnds) {
  DeviceContext dc = GetWindowDc();
  DcSelectPen(dc, StockPen::White);
  for (int y = 0; y < kSurfaceHeight; ++y) {
    DcMoveTo(dc, 0, y);
    DcLineTo(dc, kSurfaceWidth, y);
  }
  ScreenWipe(0);
  const std::uint32_t* pixels = SurfacePixels();
  EXPECT_EQ(HeadlessCounters().sleeps, 0);
  for (int y = 0; y < kSurfaceHeight; ++y) {
    for (int x = 0; x < 511; ++x) ASSERT_EQ(pixels[y * kSurfaceWidth + x], kBlack) << x << "," << y;
    // The bottom-up lines end before the last column.
    ASSERT_EQ(pixels[y * kSurfaceWidth + 511], (y % 2 == 0) ? kBlack : kWhite) << y;
  }
}

TEST_F(FlowTest, FireworksBurstsAreHarmlessAndSoundEachTime) {
  World.meteors[0] = Meteor{100, 100, 0, 3, 9, 1, kWhite, 1};
  const std::uint32_t before = RandomState;
  Fireworks();
  EXPECT_EQ(World.meteors[0].state, 1);
  EXPECT_EQ(World.meteors[0].y, 100);
  EXPECT_GT(DrawsBetween(before, RandomState), 192);
  for (const Explosion& e : World.explosions) {
    if (e.stage != 0) {
      EXPECT_EQ(e.lethal, 0);
    }
  }
  EXPECT_GT(SoundEventCount[kSoundFireworks], 1);
}
