#include <climits>
#include <set>

#include "game/spawn.h"
#include "game/tests/fresh_world.h"

namespace {

// Spawns many rocks at a level into slot 0 and hands each to `check`.
template <typename Check>
void ForManySpawns(int level, int fast, Check check) {
  World.level = level;
  for (int i = 0; i < 4000; ++i) {
    const std::uint32_t before = RandomState;
    SpawnMeteor(10, -20, 0, fast);
    check(World.meteors[0], before);
  }
}

}  // namespace

using SpawnTest = FreshWorld;

TEST_F(SpawnTest, SlowLevelsGiveClassColoursAndSpeeds) {
  ForManySpawns(0, 0, [](const Meteor& m, std::uint32_t) {
    ASSERT_EQ(m.state, 1);
    ASSERT_NE(m.hits, kSplitterHits);
    ASSERT_GE(m.dx, -3);
    ASSERT_LE(m.dx, 3);
    if (m.hits == 1) {
      ASSERT_TRUE(m.radius == 5 || m.radius == 9);
      const Color byClass[4] = {kWhite, Rgb(255, 255, 0), Rgb(0, 255, 255), Rgb(255, 0, 0)};
      ASSERT_EQ(m.color, byClass[(m.dy - 3) / 3]) << "dy " << m.dy;
    } else {
      ASSERT_EQ(m.hits, 20);
      ASSERT_TRUE(m.radius == 10 || m.radius == 18);
      ASSERT_TRUE(m.dy == 3 || m.dy == 6 || m.dy == 9 || m.dy == 12);
    }
  });
}

TEST_F(SpawnTest, FastRocksOfSlowClassesFallAtTwentyOneOrToughAtEightToFifteen) {
  std::set<int> speeds;
  ForManySpawns(0, 1, [&](const Meteor& m, std::uint32_t) {
    speeds.insert(m.dy);
    if (m.hits == 1) {
      ASSERT_TRUE(m.dy == 21 || m.dy == 9 || m.dy == 12) << m.dy;
      if (m.dy == 21) {
        ASSERT_TRUE(m.color == kWhite || m.color == Rgb(255, 255, 0));
      }
    } else {
      ASSERT_GE(m.dy, 8);
      ASSERT_LE(m.dy, 15);
    }
  });
  EXPECT_TRUE(speeds.count(21));
}

TEST_F(SpawnTest, LevelRaisesTheSlowClasses) {
  const int cases[][2] = {{9, 12}, {19, 17}, {29, 21}};
  for (const auto& c : cases) {
    ForManySpawns(c[0], 0, [&](const Meteor& m, std::uint32_t) {
      if (m.hits == 1 && (m.color == kWhite || m.color == Rgb(255, 255, 0))) {
        ASSERT_EQ(m.dy, c[1]) << "level " << c[0];
      }
    });
  }
}

TEST_F(SpawnTest, NoSplitterBelowLevelTwelveAndSplittersFromIt) {
  ForManySpawns(11, 0, [](const Meteor& m, std::uint32_t) { ASSERT_NE(m.hits, kSplitterHits); });
  int splitters = 0;
  ForManySpawns(12, 0, [&](const Meteor& m, std::uint32_t) {
    if (m.hits != kSplitterHits) return;
    ++splitters;
    ASSERT_EQ(m.radius, 20);
    ASSERT_GE(m.dy, 5);
    ASSERT_LE(m.dy, 12);
  });
  EXPECT_GT(splitters, 0);
}

TEST_F(SpawnTest, DrawCountsFollowTheKind) {
  // Radius, splitter test, horizontal step (+1 when it moves), class, kind,
  // and one more for a tough rock that would fall faster than 15.
  World.level = 30;
  for (int i = 0; i < 4000; ++i) {
    const std::uint32_t before = RandomState;
    SpawnMeteor(0, 0, 0, 1);
    const Meteor& m = World.meteors[0];
    const int draws = DrawsBetween(before, RandomState);
    if (m.hits == kSplitterHits) {
      ASSERT_EQ(draws, 5);
    } else if (m.hits == 1) {
      ASSERT_TRUE(draws == 5 || draws == 6);
      if (m.dx != 0) {
        ASSERT_EQ(draws, 6);
      }
    } else {
      ASSERT_GE(draws, 5);
      ASSERT_LE(draws, 7);
    }
  }
}

TEST_F(SpawnTest, ToughnessByLevelAndRapidFire) {
  struct Case {
    int rapid, level, hits;
  };
  const Case cases[] = {{0, 3, 20},  {0, 4, 25},  {0, 28, 45},  {0, 29, 50},  {0, 500, 50},
                        {1, 2, 100}, {1, 3, 110}, {1, 10, 120}, {1, 78, 290}, {1, 79, 300}};
  for (const Case& c : cases) {
    RapidFlag = c.rapid;
    bool sawTough = false;
    ForManySpawns(c.level, 0, [&](const Meteor& m, std::uint32_t) {
      if (m.hits > 1) {
        sawTough = true;
        ASSERT_EQ(m.hits, c.hits) << "rapid " << c.rapid << " level " << c.level;
      }
    });
    EXPECT_TRUE(sawTough);
  }
}

TEST_F(SpawnTest, ExtremeRapidValuesFromTheFileDoNotOverflow) {
  // The threshold saturates instead of wrapping: huge positive makes every
  // rock tough, huge negative makes none tough.
  RapidFlag = INT_MAX;
  ForManySpawns(INT_MAX - 1, 0, [](const Meteor& m, std::uint32_t) {
    if (m.hits != kSplitterHits) {
      ASSERT_EQ(m.hits, 300);
    }
  });
  RapidFlag = INT_MIN;
  ForManySpawns(1000000, 0, [](const Meteor& m, std::uint32_t) {
    if (m.hits != kSplitterHits) {
      ASSERT_EQ(m.hits, 1);
    }
  });
}

TEST_F(SpawnTest, FillWaveCountsExactlyTheRocksItPlaced) {
  World.meteors[4] = Meteor{1, 2, 3, 4, 5, 300, kWhite, 1};
  World.liveMeteors = 77;
  FillWave();
  int used = 0;
  for (const Meteor& m : World.meteors) {
    ASSERT_TRUE(m.state == 0 || m.state == 1);
    if (m.state == 1) {
      ++used;
      ASSERT_LE(m.y, -1);  // placed above the window
      ASSERT_GE(m.y, -1024);
    }
  }
  EXPECT_EQ(World.liveMeteors, used);
  EXPECT_GT(used, 20);
  EXPECT_LT(used, 80);
}

TEST_F(SpawnTest, SpawnInFreeSlotTakesTheFirstFreeAndDropsWhenFull) {
  for (int i = 0; i < kMeteorCount; ++i) World.meteors[i].state = 1;
  World.meteors[42].state = 0;
  World.liveMeteors = 99;
  SpawnInFreeSlot(100, 50);
  EXPECT_EQ(World.meteors[42].state, 1);
  EXPECT_EQ(World.meteors[42].x, 100);
  EXPECT_EQ(World.liveMeteors, 100);
  const std::uint32_t before = RandomState;
  SpawnInFreeSlot(1, 1);
  EXPECT_EQ(World.liveMeteors, 100);
  EXPECT_EQ(RandomState, before);
}
