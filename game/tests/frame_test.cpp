#include "app/frame.h"
#include "game/tests/fresh_world.h"

class FrameTest : public FreshWorld {
 protected:
  void SetUp() override {
    FreshWorld::SetUp();
    World.groundY = World.prevGroundY = 470;
    // One distant rock keeps the level from ending.
    PlaceRock(99, 5000, -100000000, 5, 3);
  }
};

TEST_F(FrameTest, StarAtExactly470StaysAndBeyondRestartsAtTop) {
  World.stars[0] = Star{10, 467, 3, kWhite};
  World.stars[1] = Star{20, 468, 3, kWhite};
  World.groundY = World.prevGroundY = 480;
  DemoFrame();
  EXPECT_EQ(World.stars[0].y, 470);
  EXPECT_EQ(World.stars[1].y, 0);
  EXPECT_EQ(SurfacePixels()[470 * kSurfaceWidth + 10], kWhite);  // above the ground at 480
}

TEST_F(FrameTest, StarsOnOrBelowTheGroundAreNotDrawn) {
  World.groundY = World.prevGroundY = 300;
  const Color red = Rgb(255, 0, 0);
  World.stars[0] = Star{10, 297, 3, red};
  World.stars[1] = Star{30, 296, 3, red};
  DemoFrame();
  const std::uint32_t* pixels = SurfacePixels();
  EXPECT_EQ(pixels[300 * kSurfaceWidth + 10], kWhite);  // on the line: only the ground's pixel
  EXPECT_EQ(pixels[299 * kSurfaceWidth + 30], red);
}

TEST_F(FrameTest, PauseHoldsRocksButCountsDown) {
  World.pauseFrames = 2;
  Meteor& rock = PlaceRock(0, 100, 100, 9, 3);
  PlayFrame();
  EXPECT_EQ(rock.y, 100);
  EXPECT_EQ(World.pauseFrames, 1);
  PlayFrame();
  PlayFrame();
  EXPECT_EQ(rock.y, 103);
}

TEST_F(FrameTest, NoSaucerBelowLevelSix) {
  World.level = 5;
  for (int i = 0; i < 20000; ++i) {
    DemoFrame();
    ASSERT_EQ(World.ufo.active, 0);
  }
}

TEST_F(FrameTest, SaucerCrossesFromSideToSideAndThenLeaves) {
  World.level = 6;
  int frames = 0;
  while (World.ufo.active == 0 && frames < 100000) {
    DemoFrame();
    ++frames;
  }
  ASSERT_EQ(World.ufo.active, 1);
  const int dx = World.ufo.dx;
  EXPECT_EQ(World.ufo.x, dx == 1 ? -49 : 561);  // drawn in its starting frame
  EXPECT_GE(World.ufo.y, 20);
  EXPECT_LE(World.ufo.y, 83);
  int flying = 1;
  const int y = World.ufo.y;
  while (World.ufo.active == 1) {
    DemoFrame();
    ASSERT_EQ(World.ufo.y, y);
    ++flying;
  }
  EXPECT_EQ(flying, 613);
}

TEST_F(FrameTest, LevelWaitsForTheSaucer) {
  // Every slot busy but held by the pause, so the saucer cannot drop.
  for (Meteor& m : World.meteors) m.state = 1;
  World.liveMeteors = 0;
  World.ufo = Ufo{1, 100, 50, 1};
  World.pauseFrames = 5;
  DemoFrame();
  EXPECT_EQ(World.level, 0);
  World.ufo.x = 562;
  DemoFrame();
  EXPECT_EQ(World.ufo.active, 0);
  EXPECT_EQ(World.level, 1);
}

TEST_F(FrameTest, PlayLevelAdvanceSetsReservePauseAndRecovery) {
  World.meteors[99].state = 0;
  World.liveMeteors = 0;
  World.reservePerLevel = 20;
  World.level = 2;
  World.groundY = World.prevGroundY = 300;
  PlayFrame();
  EXPECT_EQ(World.level, 3);
  EXPECT_EQ(World.reservePerLevel, 30);
  EXPECT_EQ(World.reserveMeteors, 30);
  EXPECT_EQ(World.pauseFrames, 100);
  EXPECT_EQ(World.groundRecovery, 85);
  EXPECT_GT(World.liveMeteors, 0);
  for (int i = 0; i < 85; ++i) PlayFrame();
  EXPECT_EQ(World.groundY, 385);
  EXPECT_EQ(World.groundRecovery, 0);
}

TEST_F(FrameTest, RecoveryIsAtLeastThirtyAndGroundStopsAt470) {
  World.meteors[99].state = 0;
  World.liveMeteors = 0;
  World.groundY = World.prevGroundY = 460;
  PlayFrame();
  EXPECT_EQ(World.groundRecovery, 30);
  for (int i = 0; i < 30; ++i) PlayFrame();
  EXPECT_EQ(World.groundY, 470);
  EXPECT_EQ(World.groundRecovery, 0);
}

TEST_F(FrameTest, DemoWrapsAtLevelThirtyButPlayGoesOn) {
  World.meteors[99].state = 0;
  World.liveMeteors = 0;
  World.level = 29;
  World.reservePerLevel = 290;
  DemoFrame();
  EXPECT_EQ(World.level, 0);
  EXPECT_EQ(World.reservePerLevel, 0);
  EXPECT_EQ(World.pauseFrames, 15);

  for (Meteor& m : World.meteors) m.state = 0;
  World.liveMeteors = 0;
  World.level = 29;
  World.reservePerLevel = 290;
  PlayFrame();
  EXPECT_EQ(World.level, 30);
  EXPECT_EQ(World.reservePerLevel, 300);
}

TEST_F(FrameTest, GroundLineMovesWithoutLeavingPixels) {
  World.groundY = World.prevGroundY = 400;
  World.groundRecovery = 2;
  PlayFrame();
  PlayFrame();
  const std::uint32_t* pixels = SurfacePixels();
  EXPECT_EQ(pixels[400 * kSurfaceWidth + 50], kBlack);
  EXPECT_EQ(pixels[401 * kSurfaceWidth + 50], kBlack);
  EXPECT_EQ(pixels[402 * kSurfaceWidth + 50], kWhite);
  EXPECT_EQ(pixels[402 * kSurfaceWidth + 510], kWhite);
  EXPECT_EQ(pixels[402 * kSurfaceWidth + 511], kBlack);  // the end point is not drawn
  EXPECT_EQ(pixels[200 * kSurfaceWidth + 50], kWhite);   // guide lines in play
  EXPECT_EQ(pixels[470 * kSurfaceWidth + 50], kWhite);
}

TEST_F(FrameTest, DemoDrawsNoGuideLines) {
  World.groundY = World.prevGroundY = 430;
  DemoFrame();
  const std::uint32_t* pixels = SurfacePixels();
  EXPECT_EQ(pixels[430 * kSurfaceWidth + 50], kWhite);
  EXPECT_EQ(pixels[470 * kSurfaceWidth + 50], kBlack);
  EXPECT_EQ(pixels[200 * kSurfaceWidth + 50], kBlack);
}

TEST_F(FrameTest, GameOverAtTwoHundredButNotAt201) {
  World.groundY = World.prevGroundY = 201;
  PlayFrame();
  EXPECT_EQ(World.demoMode, 0);
  World.groundY = World.prevGroundY = 200;
  World.score = 0;  // no place in the empty ranking
  PlayFrame();
  EXPECT_EQ(World.demoMode, 1);
  EXPECT_EQ(World.groundY, 430);
  EXPECT_EQ(World.rankJustAchieved, 0);
  EXPECT_GT(World.liveMeteors, 0);
}
