#include "app/window_proc.h"
#include "game/tests/fresh_world.h"
#include "records/settings.h"

class WindowProcTest : public FreshWorld {
 protected:
  void SetUp() override {
    FreshWorld::SetUp();
    SetSettingsFilePath("");
    SoundFlag = 1;
  }
};

TEST_F(WindowProcTest, TwoClicksInOneFrameMakeOneShot) {
  World.demoMode = 0;
  OnLeftButtonDown(100, 200);
  OnLeftButtonDown(300, 300);
  EXPECT_EQ(LiveExplosions(), 1);
  EXPECT_EQ(SoundEventCount[kSoundShot], 1);
  const Explosion& shot = World.explosions[0];
  EXPECT_EQ(shot.x, 100);
  EXPECT_EQ(shot.y, 200);
  EXPECT_EQ(shot.stage, 1);
  EXPECT_EQ(shot.chain, 1);
  EXPECT_EQ(shot.lethal, 1);
  World.shotsThisFrame = 0;  // the next frame
  OnLeftButtonDown(300, 300);
  EXPECT_EQ(LiveExplosions(), 2);
}

TEST_F(WindowProcTest, DemoIgnoresClicksAndMoves) {
  World.demoMode = 1;
  RapidFlag = 1;
  OnLeftButtonDown(10, 10);
  OnMouseMove(10, 10);
  EXPECT_EQ(LiveExplosions(), 0);
  EXPECT_EQ(SoundEventCount[kSoundShot], 0);
  EXPECT_EQ(World.shotsThisFrame, 0);
}

TEST_F(WindowProcTest, MovesFireOnlyWithRapidFireAndShareTheBudget) {
  World.demoMode = 0;
  OnMouseMove(10, 10);
  EXPECT_EQ(World.shotsThisFrame, 0);
  EXPECT_EQ(LiveExplosions(), 0);
  RapidFlag = 1;
  OnMouseMove(10, 10);
  OnMouseMove(20, 20);
  OnLeftButtonDown(30, 30);
  EXPECT_EQ(LiveExplosions(), 1);
  EXPECT_EQ(World.explosions[0].x, 10);
}

TEST_F(WindowProcTest, ShotSoundsEvenWhenNoExplosionSlotIsFree) {
  World.demoMode = 0;
  for (Explosion& e : World.explosions) e.stage = 3;
  OnLeftButtonDown(10, 10);
  EXPECT_EQ(SoundEventCount[kSoundShot], 1);
}

TEST_F(WindowProcTest, CoordinatesTravelAsUnsignedSixteenBits) {
  World.demoMode = 0;
  OnLeftButtonDown(-5, 70000);
  EXPECT_EQ(World.explosions[0].x, 65531);
  EXPECT_EQ(World.explosions[0].y, 70000 - 65536);
}

TEST_F(WindowProcTest, RapidToggleOnlyInDemoButAlwaysReturnsToDemo) {
  World.demoMode = 1;
  OnCommand(ID_SETTINGS_RAPID);
  EXPECT_EQ(RapidFlag, 1);
  World.demoMode = 0;
  OnCommand(ID_SETTINGS_RAPID);
  EXPECT_EQ(RapidFlag, 1);
  EXPECT_EQ(World.demoMode, 1);
}

TEST_F(WindowProcTest, SoundToggleInEitherModeDoesNothingElse) {
  World.demoMode = 0;
  World.groundY = 321;
  OnCommand(ID_SETTINGS_SOUND);
  EXPECT_EQ(SoundFlag, 0);
  EXPECT_EQ(World.groundY, 321);
  OnCommand(ID_SETTINGS_SOUND);
  EXPECT_EQ(SoundFlag, 1);
}

TEST_F(WindowProcTest, ClearRankingAsksOnlyInDemoMode) {
  ResetRanking();
  World.ranking[0].score = 500;
  World.demoMode = 0;
  OnCommand(ID_GAME_CLEAR_RANKING);
  EXPECT_EQ(HeadlessCounters().confirmBoxes, 0);
  EXPECT_EQ(World.ranking[0].score, 500);

  World.demoMode = 1;
  HeadlessSetConfirmAnswer(false);
  OnCommand(ID_GAME_CLEAR_RANKING);
  EXPECT_EQ(HeadlessCounters().confirmBoxes, 1);
  EXPECT_EQ(World.ranking[0].score, 500);
  EXPECT_EQ(World.modalOpen, 0);

  World.rankJustAchieved = 1;
  HeadlessSetConfirmAnswer(true);
  OnCommand(ID_GAME_CLEAR_RANKING);
  EXPECT_EQ(World.ranking[0].score, 0);
  EXPECT_STREQ(World.ranking[0].name, "[ -- No player -- ]");
  EXPECT_EQ(World.rankJustAchieved, 0);
  EXPECT_EQ(World.groundY, 430);  // back in a fresh demo
}

TEST_F(WindowProcTest, AboutOpensTheModalBox) {
  OnCommand(ID_HELP_ABOUT);
  EXPECT_EQ(HeadlessCounters().aboutDialogs, 1);
  EXPECT_EQ(World.modalOpen, 0);
}

TEST_F(WindowProcTest, UnhandledCommandsGoToDefaultProcessing) {
  EXPECT_FALSE(OnCommand(ID_HELP_WINDOWS_HELP));
  EXPECT_FALSE(OnCommand(ID_SETTINGS_WAIT));
  EXPECT_TRUE(OnCommand(ID_GAME_EXIT));
  EXPECT_TRUE(HeadlessTakePostedClose());
}

TEST_F(WindowProcTest, CloseAsksAndEndsOnlyOnOk) {
  HeadlessSetConfirmAnswer(false);
  EXPECT_FALSE(OnClose());
  EXPECT_FALSE(HeadlessQuitRequested());
  EXPECT_EQ(World.modalOpen, 0);
  StartUp();
  HeadlessSetConfirmAnswer(true);
  EXPECT_TRUE(OnClose());
  EXPECT_TRUE(HeadlessQuitRequested());
  EXPECT_EQ(HeadlessExitCode(), 0);
}

TEST_F(WindowProcTest, MenuStateFollowsSettingsAndMode) {
  MenuItemState items[2];
  World.demoMode = 0;
  RapidFlag = 1;
  SoundFlag = 0;
  ASSERT_EQ(OnInitMenuPopup(0, items), 1);
  EXPECT_EQ(items[0].id, ID_GAME_CLEAR_RANKING);
  EXPECT_FALSE(items[0].enabled);
  ASSERT_EQ(OnInitMenuPopup(1, items), 2);
  EXPECT_EQ(items[0].id, ID_SETTINGS_RAPID);
  EXPECT_TRUE(items[0].checked);
  EXPECT_FALSE(items[0].enabled);
  EXPECT_EQ(items[1].id, ID_SETTINGS_SOUND);
  EXPECT_FALSE(items[1].checked);
  EXPECT_TRUE(items[1].enabled);
  World.demoMode = 1;
  OnInitMenuPopup(1, items);
  EXPECT_TRUE(items[0].enabled);
  EXPECT_EQ(OnInitMenuPopup(2, items), 0);
}

TEST_F(WindowProcTest, PaintRepaintsOnlyWhileABoxIsOpen) {
  World.groundY = 430;
  World.demoMode = 1;
  OnPaint();
  EXPECT_EQ(SurfacePixels()[430 * kSurfaceWidth + 5], kBlack);
  World.modalOpen = 1;
  OnPaint();
  EXPECT_EQ(SurfacePixels()[430 * kSurfaceWidth + 5], kWhite);
}

TEST_F(WindowProcTest, FrameClearsTickAndShotsAndRunsTheModesFrame) {
  StartUp();
  World.frameTick = 1;
  World.shotsThisFrame = 5;
  const int pause = World.pauseFrames;
  RunFrame();
  EXPECT_EQ(World.frameTick, 0);
  EXPECT_EQ(World.shotsThisFrame, 0);
  EXPECT_EQ(World.pauseFrames, pause - 1);
}

TEST_F(WindowProcTest, StartUpGivesDefaultsAndEntersTheDemo) {
  StartUp();
  EXPECT_EQ(RapidFlag, 0);
  EXPECT_EQ(SoundFlag, 1);
  EXPECT_EQ(WaitFlag, 1);
  EXPECT_EQ(World.demoMode, 1);
  EXPECT_EQ(World.groundY, 430);
  EXPECT_EQ(World.score, 0);
  EXPECT_STREQ(World.ranking[9].name, "[ -- No player -- ]");
}

TEST(CenterRectTest, CentresOverTheReference) {
  const WindowRect r = CenterRect({0, 0, 100, 50}, {200, 200, 600, 400}, 1920, 1080);
  EXPECT_EQ(r.left, 350);
  EXPECT_EQ(r.top, 275);
  EXPECT_EQ(r.right, 450);
  EXPECT_EQ(r.bottom, 325);
}

TEST(CenterRectTest, KeepsTheWindowOnTheScreen) {
  WindowRect r = CenterRect({0, 0, 200, 100}, {1800, 1000, 1900, 1080}, 1920, 1080);
  EXPECT_EQ(r.right, 1920);
  EXPECT_EQ(r.bottom, 1080);
  r = CenterRect({0, 0, 200, 100}, {-300, -300, -100, -200}, 1920, 1080);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
}

TEST(CenterRectTest, WindowWiderThanTheScreenEndsAtTheLeftEdge) {
  const WindowRect r = CenterRect({0, 0, 3000, 100}, {0, 0, 800, 600}, 1920, 1080);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.right, 3000);
}
