#include "game/explosions.h"
#include "game/tests/fresh_world.h"

namespace {

void Step() {
  DeviceContext dc = GetWindowDc();
  UpdateExplosions(dc);
}

Explosion& PlaceExplosion(int slot, int x, int y, int stage, int chain, int lethal) {
  Explosion& e = World.explosions[slot];
  e = Explosion{x, y, stage, chain, lethal};
  return e;
}

}  // namespace

using ExplosionsTest = FreshWorld;

TEST_F(ExplosionsTest, ShotTwelvePixelsBesideARockStrikesItAtTheFirstStep) {
  PlaceRock(0, 100, 100, 9);
  PlaceExplosion(0, 112, 100, 1, 1, 1);
  Step();  // stage 2, radius 8: 144 < 81 + 64
  EXPECT_EQ(World.meteors[0].state, 256);

  PlaceRock(1, 300, 100, 9);
  PlaceExplosion(1, 313, 100, 1, 1, 1);
  World.explosions[0].stage = 0;
  Step();  // 169 is not below 145
  EXPECT_EQ(World.meteors[1].state, 1);
}

TEST_F(ExplosionsTest, TouchUsesTheSumOfSquaredRadii) {
  // Stage 11 -> 12: radius 39. 40 px: 1600 < 1602; 41 px: 1681 is not.
  PlaceRock(0, 100, 100, 9);
  PlaceRock(1, 300, 300, 9);
  PlaceExplosion(0, 140, 100, 11, 1, 1);
  PlaceExplosion(1, 341, 300, 11, 1, 1);
  Step();
  EXPECT_EQ(World.meteors[0].state, 256);
  EXPECT_EQ(World.meteors[1].state, 1);
}

TEST_F(ExplosionsTest, HarmlessExplosionsNeverChangeRocks) {
  PlaceRock(0, 100, 100, 9);
  PlaceExplosion(0, 100, 100, 1, 5, 0);
  for (int i = 0; i < 40; ++i) Step();
  EXPECT_EQ(World.meteors[0].state, 1);
  EXPECT_EQ(World.meteors[0].hits, 1);
}

TEST_F(ExplosionsTest, ToughRockIsStruckAtItsNineteenthTouch) {
  Meteor& rock = PlaceRock(0, 100, 100, 10);
  rock.hits = 20;
  PlaceExplosion(0, 100, 100, 1, 1, 1);
  for (int frame = 1; frame <= 18; ++frame) {
    Step();
    ASSERT_EQ(rock.state, 1) << frame;
  }
  Step();
  EXPECT_EQ(rock.state, 256);
  EXPECT_EQ(rock.hits, 1);
}

TEST_F(ExplosionsTest, TwoOverlappingExplosionsTakeTwoTouchesPerFrame) {
  Meteor& rock = PlaceRock(0, 100, 100, 10);
  rock.hits = 20;
  PlaceExplosion(0, 100, 100, 1, 1, 1);
  PlaceExplosion(1, 101, 100, 1, 6, 1);
  for (int frame = 1; frame <= 9; ++frame) Step();
  EXPECT_EQ(rock.hits, 2);
  EXPECT_EQ(rock.state, 1);
  Step();  // the first touch brings it to 1 and sets the first chain
  EXPECT_EQ(rock.state, 256);
}

TEST_F(ExplosionsTest, LowerSlotSetsTheChainOfAPlainRock) {
  PlaceRock(0, 100, 100, 9);
  PlaceExplosion(0, 100, 100, 1, 10, 1);
  PlaceExplosion(1, 100, 100, 1, 2, 1);
  Step();
  EXPECT_EQ(World.meteors[0].state, 265);
}

TEST_F(ExplosionsTest, StruckStateIsCappedAt500ButKeeps501) {
  PlaceRock(0, 100, 100, 9);
  PlaceRock(1, 300, 100, 9);
  PlaceExplosion(0, 100, 100, 1, 246, 1);
  PlaceExplosion(1, 300, 100, 1, 247, 1);
  Step();
  EXPECT_EQ(World.meteors[0].state, 501);
  EXPECT_EQ(World.meteors[1].state, 500);
}

TEST_F(ExplosionsTest, SplitterIsStruckAtAnyTouch) {
  Meteor& rock = PlaceRock(0, 100, 100, 20);
  rock.hits = kSplitterHits;
  PlaceExplosion(0, 100, 100, 1, 4, 1);
  Step();
  EXPECT_EQ(rock.state, 259);
  EXPECT_EQ(rock.hits, kSplitterHits);
}

TEST_F(ExplosionsTest, StruckRocksAreNotTouchedAgain) {
  Meteor& rock = PlaceRock(0, 100, 100, 9);
  rock.state = 300;
  PlaceExplosion(0, 100, 100, 1, 1, 1);
  Step();
  EXPECT_EQ(rock.state, 300);
}

TEST_F(ExplosionsTest, ExplosionLivesFortyStepsAndErasesItself) {
  PlaceExplosion(0, 200, 200, 1, 0, 0);
  int steps = 0;
  while (World.explosions[0].stage != 0) {
    Step();
    ++steps;
  }
  EXPECT_EQ(steps, 40);
  const std::uint32_t* pixels = SurfacePixels();
  for (int i = 0; i < kSurfaceWidth * kSurfaceHeight; ++i) ASSERT_EQ(pixels[i], kBlack) << i;
}

TEST_F(ExplosionsTest, OneColourDrawPerLiveExplosion) {
  PlaceExplosion(0, 1, 1, 1, 0, 0);
  PlaceExplosion(5, 1, 1, 40, 0, 0);  // frees itself without drawing
  const std::uint32_t before = RandomState;
  Step();
  EXPECT_EQ(DrawsBetween(before, RandomState), 1);
}

TEST_F(ExplosionsTest, FarAwayExplosionsAreSafe) {
  PlaceRock(0, -1000, -1000, 9);
  PlaceExplosion(0, 65535, 65535, 1, 1, 1);
  Step();
  EXPECT_EQ(World.meteors[0].state, 1);
}

TEST_F(ExplosionsTest, AddExplosionTakesFirstFreeSlotOrNone) {
  World.explosions[0].stage = 3;
  EXPECT_TRUE(AddExplosion(5, 6, 7, 1));
  EXPECT_EQ(World.explosions[1].x, 5);
  EXPECT_EQ(World.explosions[1].stage, 1);
  for (Explosion& e : World.explosions) e.stage = 1;
  EXPECT_FALSE(AddExplosion(5, 6, 7, 1));
}
