#include "game/meteors.h"
#include "game/tests/fresh_world.h"

namespace {

void Step() {
  DeviceContext dc = GetWindowDc();
  UpdateMeteors(dc);
}

}  // namespace

class MeteorsTest : public FreshWorld {
 protected:
  void SetUp() override {
    FreshWorld::SetUp();
    World.groundY = 470;
    SoundFlag = 1;
  }
};

TEST_F(MeteorsTest, RockOnTheGroundLineHasNotLandedYet) {
  PlaceRock(0, 100, 467, 9, 3);
  Step();
  EXPECT_EQ(World.meteors[0].y, 470);
  EXPECT_EQ(World.meteors[0].state, 1);
  Step();
  EXPECT_EQ(World.meteors[0].state, 0);
  EXPECT_EQ(World.liveMeteors, 0);
}

TEST_F(MeteorsTest, LandingInsideTheFieldRaisesGroundWithSoundAndBlast) {
  World.groundY = 300;
  PlaceRock(0, 100, 299, 9, 3);
  Step();
  EXPECT_EQ(World.groundY, 300 - 6);
  EXPECT_EQ(SoundEventCount[kSoundLands], 1);
  const Explosion& blast = World.explosions[0];
  EXPECT_EQ(blast.stage, 1);
  EXPECT_EQ(blast.x, 100);
  EXPECT_EQ(blast.y, 294);  // the raised ground line, not the rock
  EXPECT_EQ(blast.lethal, 0);
  EXPECT_EQ(blast.chain, 0);
}

TEST_F(MeteorsTest, GroundRisesByThreeQuartersOfTheRadius) {
  const int radii[] = {5, 9, 10, 18, 20};
  const int rise[] = {3, 6, 7, 13, 15};
  for (int i = 0; i < 5; ++i) {
    World.groundY = 400;
    PlaceRock(0, 200, 399, radii[i], 3);
    Step();
    EXPECT_EQ(World.groundY, 400 - rise[i]) << radii[i];
  }
}

TEST_F(MeteorsTest, GroundStopsRisingAtTheGameOverHeight) {
  World.groundY = 205;
  PlaceRock(0, 200, 204, 20, 3);
  Step();
  EXPECT_EQ(World.groundY, 190);
  PlaceRock(0, 200, 189, 20, 3);
  Step();
  EXPECT_EQ(World.groundY, 190);
  EXPECT_EQ(SoundEventCount[kSoundLands], 2);
}

TEST_F(MeteorsTest, RockOutsideTheFieldVanishesWithoutEffect) {
  PlaceRock(0, -10, 469, 9, 3);  // 1 - 9 = -8 is not below -10
  PlaceRock(1, 520, 469, 9, 3);  // 520 is not below 511 + 9
  Step();
  EXPECT_EQ(World.liveMeteors, 0);
  EXPECT_EQ(World.groundY, 470);
  EXPECT_EQ(SoundEventCount[kSoundLands], 0);
  EXPECT_EQ(LiveExplosions(), 0);

  PlaceRock(0, -7, 469, 9, 3);
  PlaceRock(1, 519, 469, 9, 3);
  Step();
  EXPECT_EQ(SoundEventCount[kSoundLands], 2);
  EXPECT_EQ(LiveExplosions(), 2);
}

TEST_F(MeteorsTest, DemoLandingsKeepTheGroundAndMakeNoSound) {
  World.demoMode = 1;
  World.groundY = 430;
  PlaceRock(0, 100, 429, 18, 3);
  Step();
  EXPECT_EQ(World.groundY, 430);
  EXPECT_EQ(SoundEventCount[kSoundLands], 0);
  EXPECT_EQ(LiveExplosions(), 1);
}

TEST_F(MeteorsTest, DestructionScoresWithTheMultiplierAndShowsThePoints) {
  Meteor& m = PlaceRock(3, 200, 100, 9, 3);
  m.state = 256;  // struck by a shot: multiplier 2
  Step();
  EXPECT_EQ(World.score, 3 * 9 * 2);
  EXPECT_EQ(World.liveMeteors, 0);
  EXPECT_EQ(World.meteors[3].state, 0);
  EXPECT_EQ(SoundEventCount[kSoundDestroyed], 1);
  const Explosion& e = World.explosions[0];
  EXPECT_EQ(e.chain, 4);
  EXPECT_EQ(e.lethal, 1);
  EXPECT_EQ(e.x, 200);
  EXPECT_EQ(e.y, 100);
  const ScorePopup& p = World.popups[0];
  EXPECT_EQ(p.x, 180);
  EXPECT_EQ(p.y, 92);
  EXPECT_EQ(p.points, 54);
  EXPECT_EQ(p.age, 1);
}

TEST_F(MeteorsTest, DemoDestructionScoresNothing) {
  World.demoMode = 1;
  PlaceRock(0, 200, 100, 9, 3).state = 300;
  Step();
  EXPECT_EQ(World.score, 0);
  EXPECT_EQ(World.popups[0].age, 0);
  EXPECT_EQ(SoundEventCount[kSoundDestroyed], 0);
  EXPECT_EQ(World.explosions[0].chain, 2 * 46);
}

TEST_F(MeteorsTest, ReserveLaunchHappensOnlyWhileReserveLasts) {
  PlaceRock(5, 200, 100, 9, 3).state = 256;
  std::uint32_t before = RandomState;
  Step();
  EXPECT_EQ(DrawsBetween(before, RandomState), 0);  // no reserve: no draws at all
  EXPECT_EQ(World.meteors[5].state, 0);

  World.reserveMeteors = 1;
  PlaceRock(5, 200, 100, 9, 3).state = 256;
  Step();
  EXPECT_EQ(World.reserveMeteors, 0);
  EXPECT_EQ(World.meteors[5].state, 1);
  EXPECT_LT(World.meteors[5].y, 0);
  EXPECT_EQ(World.liveMeteors, 1);
}

TEST_F(MeteorsTest, NegativeReserveLaunchesNothing) {
  World.reserveMeteors = -5;
  PlaceRock(0, 200, 100, 9, 3).state = 256;
  Step();
  EXPECT_EQ(World.reserveMeteors, -5);
  EXPECT_EQ(World.meteors[0].state, 0);
}

TEST_F(MeteorsTest, SplitterBurstsIntoThreeFragmentsAtItsPlace) {
  World.reserveMeteors = 1;
  Meteor& splitter = PlaceRock(2, 300, 150, 20, 7);
  splitter.hits = kSplitterHits;
  splitter.state = 255;
  Step();
  // The reserve rock refills slot 2; fragments take slots 0, 1 and 3.
  EXPECT_EQ(World.meteors[2].state, 1);
  EXPECT_LT(World.meteors[2].y, 0);
  EXPECT_EQ(World.liveMeteors, 4);
  EXPECT_EQ(World.score, 7 * 20 * 1);
  for (int slot : {0, 1}) {
    EXPECT_EQ(World.meteors[slot].x, 300) << slot;
    EXPECT_EQ(World.meteors[slot].y, 150) << slot;  // first moved in the next frame
  }
  // Slot 3 comes after the splitter, so it already moved in this pass.
  EXPECT_EQ(World.meteors[3].state, 1);
  EXPECT_EQ(World.meteors[3].y, 150 + World.meteors[3].dy);
}

TEST_F(MeteorsTest, SplitterBreaksByChanceAlsoAboveTheWindow) {
  Meteor& splitter = PlaceRock(0, 300, -500, 20, 5);
  splitter.hits = kSplitterHits;
  int frames = 0;
  while (World.meteors[0].hits == kSplitterHits && World.meteors[0].state != 0 && frames < 2000) {
    Step();
    ++frames;
  }
  EXPECT_LT(frames, 2000);
  EXPECT_EQ(World.explosions[0].chain, 2);
  EXPECT_LT(World.explosions[0].y, 0);
}

TEST_F(MeteorsTest, FullTablesDropOnlyTheBlastAndThePopup) {
  for (Explosion& e : World.explosions) e.stage = 5;
  for (ScorePopup& p : World.popups) p.age = 5;
  PlaceRock(0, 200, 100, 5, 12).state = 256;
  Step();
  EXPECT_EQ(World.score, 12 * 5 * 2);
  EXPECT_EQ(SoundEventCount[kSoundDestroyed], 1);
}

TEST_F(MeteorsTest, ErasedAndRedrawnAtTheNewPlace) {
  PlaceRock(0, 100, 100, 9, 10);
  Step();
  const std::uint32_t* pixels = SurfacePixels();
  EXPECT_EQ(pixels[110 * kSurfaceWidth + 100], kWhite);  // disc rows 101..118
  Step();
  EXPECT_EQ(pixels[103 * kSurfaceWidth + 100], kBlack);  // erased: now rows 111..128
  EXPECT_EQ(pixels[120 * kSurfaceWidth + 100], kWhite);
}
