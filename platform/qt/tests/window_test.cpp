// The main window as the player meets it: title, size, icon, cursor, the
// menu bar, and the pointer turned into shots.
#include <gtest/gtest.h>

#include <QAction>
#include <QBitmap>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>
#include <QtTest/QTest>

#include "app/window_proc.h"
#include "game/world.h"
#include "platform/qt/host.h"
#include "platform/qt/main_window.h"
#include "platform/qt/tests/test_support.h"
#include "sound/sound.h"

using namespace tavro_qt_test;

namespace {

class WindowTest : public HostTest {};

TEST_F(WindowTest, FixedWindowShowsTheWholePlayfieldBelowTheMenu) {
  EXPECT_EQ(window->windowTitle(), QString("TAVRO Ver.1.5"));
  EXPECT_EQ(window->playfield()->size(), QSize(512, 512));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  const QPoint topLeft = window->playfield()->mapTo(window, QPoint(0, 0));
  EXPECT_GE(topLeft.y(), window->menuBar()->geometry().bottom());
  EXPECT_TRUE(window->rect().contains(QRect(topLeft, QSize(512, 512))));
  EXPECT_EQ(window->playfield()->palette().color(QPalette::Window), QColor(Qt::black));
}

TEST_F(WindowTest, IconIsA16Colour32PixelPicture) {
  EXPECT_FALSE(window->windowIcon().isNull());
  const QImage icon(":/tavro/tavro.png");
  ASSERT_FALSE(icon.isNull());
  EXPECT_EQ(icon.size(), QSize(32, 32));
  EXPECT_LE(icon.colorCount(), 16);
  EXPECT_GT(icon.colorCount(), 0);
}

TEST_F(WindowTest, CrosshairCursorHasTwoPixelBarsAcrossTheWholeCursor) {
  const QCursor cursor = window->playfield()->cursor();
  EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
  EXPECT_EQ(cursor.hotSpot(), QPoint(15, 15));
  const QImage mask = cursor.mask().toImage().convertToFormat(QImage::Format_Mono);
  ASSERT_EQ(mask.size(), QSize(32, 32));
  int opaque = 0;
  for (int y = 0; y < 32; y++) {
    for (int x = 0; x < 32; x++) {
      const bool onBar = x == 15 || x == 16 || y == 15 || y == 16;
      const bool set = mask.pixelIndex(x, y) != mask.pixelIndex(0, 0);
      EXPECT_EQ(set, onBar) << x << "," << y;
      opaque += set ? 1 : 0;
    }
  }
  EXPECT_EQ(opaque, 2 * 32 + 2 * 32 - 4);
}

TEST_F(WindowTest, MenuBarMatchesTheMenuResource) {
  const QList<QAction*> bar = window->menuBar()->actions();
  ASSERT_EQ(bar.size(), 3);
  EXPECT_EQ(bar[0]->text(), QString("ゲーム(&F)"));
  EXPECT_EQ(bar[1]->text(), QString("設定(&C)"));
  EXPECT_EQ(bar[2]->text(), QString("ヘルプ(&H)"));
  // Text of each item in order; an empty string is a separator.
  const QStringList expected[3] = {
      {"開始(&S)", "ゲーム中止(&D)", "", "ランキングのクリア...", "", "終了(&X)..."},
      {"連射(&R)", "効果音(&S)"},
      {"バージョン情報(&A)"},
  };
  for (int p = 0; p < 3; p++) {
    QStringList texts;
    for (QAction* a : window->popup(p)->actions()) texts << (a->isSeparator() ? "" : a->text());
    EXPECT_EQ(texts, expected[p]) << "popup " << p;
  }
  EXPECT_EQ(window->action(ID_GAME_START)->statusTip(), QString("ゲームを開始します"));
  EXPECT_EQ(window->action(ID_GAME_EXIT)->statusTip(), QString("TAVROを終了します"));
  EXPECT_EQ(window->action(ID_SETTINGS_SOUND)->statusTip(), QString("効果音のON/OFFを変更します"));
  EXPECT_EQ(window->action(ID_GAME_CLEAR_RANKING)->statusTip(),
            QString("ランキングをクリアします"));
  EXPECT_TRUE(window->action(ID_SETTINGS_RAPID)->isCheckable());
  EXPECT_EQ(window->action(ID_HELP_WINDOWS_HELP), nullptr);
  EXPECT_EQ(window->action(ID_SETTINGS_WAIT), nullptr);
}

TEST_F(WindowTest, HoveredMenuItemShowsItsHintInTheStatusBar) {
  QMenu* menu = window->popup(0);
  const QRect title = window->menuBar()->actionGeometry(menu->menuAction());
  QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                    window->menuBar()->mapTo(window, title.center()));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
  const QRect item = menu->actionGeometry(window->action(ID_GAME_STOP));
  QTest::mouseMove(menu->windowHandle(), item.center());
  QTest::qWait(20);
  EXPECT_EQ(window->statusBar()->currentMessage(), QString("ゲームを中止してデモに戻ります"));
  menu->hide();
}

TEST_F(WindowTest, PopupChecksAndGreyingFollowSettingsAndMode) {
  World.demoMode = 1;
  RapidFlag = 1;
  SoundFlag = 0;
  OpenPopup(1);
  EXPECT_TRUE(window->action(ID_SETTINGS_RAPID)->isChecked());
  EXPECT_TRUE(window->action(ID_SETTINGS_RAPID)->isEnabled());
  EXPECT_FALSE(window->action(ID_SETTINGS_SOUND)->isChecked());
  EXPECT_TRUE(window->action(ID_SETTINGS_SOUND)->isEnabled());
  OpenPopup(0);
  EXPECT_TRUE(window->action(ID_GAME_CLEAR_RANKING)->isEnabled());

  World.demoMode = 0;
  RapidFlag = 0;
  SoundFlag = 1;
  OpenPopup(1);
  EXPECT_FALSE(window->action(ID_SETTINGS_RAPID)->isChecked());
  EXPECT_FALSE(window->action(ID_SETTINGS_RAPID)->isEnabled());
  EXPECT_TRUE(window->action(ID_SETTINGS_SOUND)->isChecked());
  EXPECT_TRUE(window->action(ID_SETTINGS_SOUND)->isEnabled());
  OpenPopup(0);
  EXPECT_FALSE(window->action(ID_GAME_CLEAR_RANKING)->isEnabled());
  EXPECT_TRUE(window->action(ID_GAME_START)->isEnabled());
  EXPECT_TRUE(window->action(ID_GAME_STOP)->isEnabled());
  World.demoMode = 1;
}

TEST_F(WindowTest, MenuCommandsReachTheGame) {
  World.demoMode = 1;
  SoundFlag = 0;
  ChooseMenuItem(1, ID_SETTINGS_SOUND);
  EXPECT_EQ(SoundFlag, 1);
  ChooseMenuItem(0, ID_GAME_START);
  EXPECT_EQ(World.demoMode, 0);
  // Rapid fire cannot be chosen during a game.
  RapidFlag = 0;
  ChooseMenuItem(1, ID_SETTINGS_RAPID);
  EXPECT_EQ(RapidFlag, 0);
  ChooseMenuItem(0, ID_GAME_STOP);
  EXPECT_EQ(World.demoMode, 1);
}

class ShotTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    for (Explosion& e : World.explosions) e = Explosion{};
    World.shotsThisFrame = 0;
    shotsBefore = SoundEventCount[kSoundShot];
  }
  QWindow* handle() { return window->windowHandle(); }
  int shotsRequested() { return SoundEventCount[kSoundShot] - shotsBefore; }
  int shotsBefore = 0;
};

TEST_F(ShotTest, ClicksAndMovesMakeAtMostOneShotPerFrame) {
  ChooseMenuItem(0, ID_GAME_START);
  ASSERT_EQ(World.demoMode, 0);
  tavro_qt::FrameTimer()->stop();
  for (Explosion& e : World.explosions) e = Explosion{};
  World.shotsThisFrame = 0;
  shotsBefore = SoundEventCount[kSoundShot];
  RapidFlag = 1;

  QTest::mouseClick(handle(), Qt::LeftButton, {}, WindowPoint(100, 200));
  QTest::mouseMove(handle(), WindowPoint(300, 300));
  QTest::mouseClick(handle(), Qt::LeftButton, {}, WindowPoint(50, 60));
  QTest::mouseDClick(handle(), Qt::LeftButton, {}, WindowPoint(70, 80));
  EXPECT_EQ(LiveExplosions(), 1);
  EXPECT_EQ(shotsRequested(), 1);
  EXPECT_EQ(World.explosions[0].x, 100);
  EXPECT_EQ(World.explosions[0].y, 200);
  EXPECT_EQ(World.explosions[0].lethal, 1);

  World.frameTick = 1;
  ASSERT_TRUE(tavro_qt::RunLoopOnce(false));
  // With rapid fire, a move alone fires in the new frame.
  QTest::mouseMove(handle(), WindowPoint(320, 330));
  QTest::mouseMove(handle(), WindowPoint(321, 331));
  EXPECT_EQ(shotsRequested(), 2);
  EXPECT_EQ(World.explosions[1].x, 320);
  EXPECT_EQ(World.explosions[1].y, 330);

  // Without rapid fire moves do not fire; only the left button does.
  World.frameTick = 1;
  ASSERT_TRUE(tavro_qt::RunLoopOnce(false));
  RapidFlag = 0;
  QTest::mouseMove(handle(), WindowPoint(10, 10));
  QTest::mouseClick(handle(), Qt::RightButton, {}, WindowPoint(11, 11));
  QTest::mouseClick(handle(), Qt::MiddleButton, {}, WindowPoint(12, 12));
  EXPECT_EQ(shotsRequested(), 2);
  EXPECT_EQ(World.shotsThisFrame, 0);
  QTest::mouseClick(handle(), Qt::LeftButton, {}, WindowPoint(13, 14));
  EXPECT_EQ(shotsRequested(), 3);
  tavro_qt::FrameTimer()->start();
}

TEST_F(ShotTest, DemoModeIgnoresClicksAndMoves) {
  World.demoMode = 1;
  RapidFlag = 1;
  QTest::mouseClick(handle(), Qt::LeftButton, {}, WindowPoint(100, 200));
  QTest::mouseMove(handle(), WindowPoint(300, 300));
  EXPECT_EQ(LiveExplosions(), 0);
  EXPECT_EQ(shotsRequested(), 0);
  EXPECT_EQ(World.shotsThisFrame, 0);
}

}  // namespace
