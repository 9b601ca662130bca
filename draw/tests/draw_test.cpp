#include "draw/attract.h"
#include "draw/repaint.h"
#include "game/tests/fresh_world.h"
#include "records/settings.h"

namespace {

int DrawsOf(void (*routine)(DeviceContext&)) {
  DeviceContext dc = GetWindowDc();
  const std::uint32_t before = RandomState;
  routine(dc);
  return FreshWorld::DrawsBetween(before, RandomState);
}

bool AnyPixelIn(int left, int top, int right, int bottom, Color color) {
  const std::uint32_t* pixels = SurfacePixels();
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x)
      if (pixels[y * kSurfaceWidth + x] == color) return true;
  return false;
}

}  // namespace

using DrawTest = FreshWorld;

TEST_F(DrawTest, RandomTextColorTakesBlueGreenRedInThatOrder) {
  // The first draws are 41, 18467, 6334.
  EXPECT_EQ(RandomTextColor(), Rgb(6334 & 255, 18467 & 255, 41 & 255));
}

TEST_F(DrawTest, AttractScreenDrawsNineTimesOrTwelveWithAFlashingRow) {
  ResetRanking();
  EXPECT_EQ(DrawsOf(DrawAttractScreen), 9);
  World.rankJustAchieved = 3;
  EXPECT_EQ(DrawsOf(DrawAttractScreen), 12);
}

TEST_F(DrawTest, AttractScreenShowsTitleBoxAndRows) {
  ResetRanking();
  DeviceContext dc = GetWindowDc();
  DrawAttractScreen(dc);
  const std::uint32_t* pixels = SurfacePixels();
  EXPECT_EQ(pixels[50 * kSurfaceWidth + 180], kWhite);  // title box corners
  EXPECT_EQ(pixels[85 * kSurfaceWidth + 304], kWhite);
  EXPECT_EQ(pixels[60 * kSurfaceWidth + 305], kWhite);
  EXPECT_TRUE(AnyPixelIn(290, 150, 440, 166, kWhite));  // first row's name
  EXPECT_TRUE(AnyPixelIn(290, 348, 440, 364, kWhite));  // tenth row's name
  // Everything restored for the caller.
  EXPECT_EQ(dc.pen, StockPen::Black);
  EXPECT_EQ(dc.bkMode, BkMode::Opaque);
  EXPECT_EQ(dc.bkColor, kWhite);
  EXPECT_EQ(dc.textColor, kBlack);
}

TEST_F(DrawTest, StatusLineIsOpaqueAndRestoresTheContext) {
  World.score = 54;
  DeviceContext dc = GetWindowDc();
  EXPECT_EQ(DrawsOf(DrawStatusLine), 3);
  DrawStatusLine(dc);
  EXPECT_EQ(dc.bkMode, BkMode::Opaque);
  EXPECT_EQ(dc.textColor, kBlack);
  EXPECT_EQ(dc.bkColor, kWhite);
}

TEST_F(DrawTest, PopupIsDrawnEightyEightFramesThenWiped) {
  World.popups[0] = ScorePopup{100, 100, 1234, 1};
  DeviceContext dc = GetWindowDc();
  int coloured = 0;
  while (World.popups[0].age != 0) {
    const std::uint32_t before = RandomState;
    UpdateScorePopups(dc);
    if (before != RandomState) ++coloured;
    ASSERT_LT(coloured, 100);
  }
  EXPECT_EQ(coloured, 88);
  for (int y = 100; y < 116; ++y)
    for (int x = 100; x < 140; ++x) ASSERT_EQ(SurfacePixels()[y * kSurfaceWidth + x], kBlack);
}

TEST_F(DrawTest, RepaintDrawsOnePerRandomColouredThing) {
  World.groundY = 430;
  World.demoMode = 0;
  World.meteors[0] = Meteor{100, 100, 0, 3, 9, 1, kWhite, 1};          // fixed colour: no draw
  World.meteors[1] = Meteor{200, 100, 0, 3, 10, 300, 0, 20};           // tough: one draw
  World.meteors[2] = Meteor{300, 100, 0, 3, 20, 1, 0, kSplitterHits};  // one draw
  World.explosions[4] = Explosion{50, 50, 12, 1, 1};
  World.popups[9] = ScorePopup{10, 300, 54, 30};
  const std::uint32_t before = RandomState;
  RepaintAll();
  EXPECT_EQ(DrawsBetween(before, RandomState),
            2 + 1 + 1 + 3);  // rocks, explosion, popup, status line
  EXPECT_EQ(World.popups[9].age, 30);
  const std::uint32_t* pixels = SurfacePixels();
  EXPECT_EQ(pixels[100 * kSurfaceWidth + 100], kWhite);
  EXPECT_EQ(pixels[470 * kSurfaceWidth + 5], kWhite);  // guide line in play
  EXPECT_EQ(pixels[430 * kSurfaceWidth + 5], kWhite);
}

TEST_F(DrawTest, RepaintInDemoShowsNoGuideLines) {
  World.groundY = 430;
  World.demoMode = 1;
  ResetRanking();
  RepaintAll();
  const std::uint32_t* pixels = SurfacePixels();
  EXPECT_EQ(pixels[470 * kSurfaceWidth + 5], kBlack);
  EXPECT_EQ(pixels[200 * kSurfaceWidth + 5], kBlack);
}
