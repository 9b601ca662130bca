#include <climits>

#include "game/tests/fresh_world.h"

using WorldTest = FreshWorld;

TEST_F(WorldTest, RandomSourceStartsWithTheKnownSequence) {
  const int expected[] = {41, 18467, 6334, 26500, 19169, 15724};
  for (int value : expected) EXPECT_EQ(NextRandom(), value);
}

TEST_F(WorldTest, RandomValuesStayInFifteenBits) {
  for (int i = 0; i < 100000; ++i) {
    const int value = NextRandom();
    ASSERT_GE(value, 0);
    ASSERT_LE(value, 32767);
  }
}

TEST_F(WorldTest, ColorCodesSwitchBlueRedGreen) {
  EXPECT_EQ(ColorCodeToRgb(0), Rgb(0, 0, 0));
  EXPECT_EQ(ColorCodeToRgb(1), Rgb(0, 0, 255));
  EXPECT_EQ(ColorCodeToRgb(2), Rgb(255, 0, 0));
  EXPECT_EQ(ColorCodeToRgb(3), Rgb(255, 0, 255));
  EXPECT_EQ(ColorCodeToRgb(4), Rgb(0, 255, 0));
  EXPECT_EQ(ColorCodeToRgb(5), Rgb(0, 255, 255));
  EXPECT_EQ(ColorCodeToRgb(6), Rgb(255, 255, 0));
  EXPECT_EQ(ColorCodeToRgb(7), Rgb(255, 255, 255));
}

TEST_F(WorldTest, ExplosionRadiusGrowsThenShrinks) {
  EXPECT_EQ(ExplosionRadius[1], 4);
  EXPECT_EQ(ExplosionRadius[2], 8);
  EXPECT_EQ(ExplosionRadius[12], 39);
  EXPECT_EQ(ExplosionRadius[17], 39);
  EXPECT_EQ(ExplosionRadius[40], 2);
}

TEST_F(WorldTest, ResetWorldScattersStarsAndFreesOnlyExplosionsAndPopups) {
  World.meteors[7] = Meteor{1, 2, 3, 4, 5, 1, kWhite, 1};
  World.explosions[3].stage = 12;
  World.popups[99].age = 5;
  World.groundY = 321;
  const std::uint32_t before = RandomState;
  ResetWorld();
  EXPECT_EQ(DrawsBetween(before, RandomState), 4 * kStarCount);
  EXPECT_EQ(World.meteors[7].state, 1);
  EXPECT_EQ(World.explosions[3].stage, 0);
  EXPECT_EQ(World.popups[99].age, 0);
  EXPECT_EQ(World.groundY, 321);
  for (const Star& star : World.stars) {
    EXPECT_GE(star.x, 0);
    EXPECT_LE(star.x, 511);
    EXPECT_TRUE(star.speed == 3 || star.speed == 6 || star.speed == 9 || star.speed == 12);
    EXPECT_TRUE(star.color == Rgb(255, 0, 0) || star.color == Rgb(0, 255, 0) ||
                star.color == Rgb(0, 0, 255) || star.color == kWhite);
  }
}

TEST_F(WorldTest, FirstStarTakesTheFirstFourDraws) {
  ResetWorld();
  EXPECT_EQ(World.stars[0].x, 41 & 511);
  EXPECT_EQ(World.stars[0].y, 18467 & 511);
  EXPECT_EQ(World.stars[0].speed, ((6334 & 3) + 1) * 3);
  EXPECT_EQ(World.stars[0].color, Rgb(255, 0, 0));  // 26500 & 3 == 0
}

TEST_F(WorldTest, ScoreStopsAtTheLargestIntInsteadOfWrapping) {
  World.score = INT_MAX - 10;
  AddScore(54);
  EXPECT_EQ(World.score, INT_MAX);
  AddScore(1);
  EXPECT_EQ(World.score, INT_MAX);
}
