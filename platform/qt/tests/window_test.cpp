// The main window as the player meets it: title, size, icon, cursor, the
// menu bar, and the pointer turned into shots.
#include <gtest/gtest.h>

#include <QAction>
#include <QBitmap>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>
#include <QtTest/QTest>
#include <algorithm>

#include "app/window_proc.h"
#include "host/network.h"
#include "platform/qt/host.h"
#include "platform/qt/main_window.h"
#include "platform/qt/tests/test_support.h"
#include "sound/sound.h"
#include "surface/surface.h"
#include "world/world.h"

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

// Keeps what the window shows when it is first resized to another size.
class ResizeWatcher : public QObject {
 public:
  ResizeWatcher(QWidget* window, QSize fixed) : window_(window), fixed_(fixed) {
    window->installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Resize && shown.isNull() && window_->size() != fixed_) {
      shown = window_->grab().toImage();
    }
    return false;
  }
  QImage shown;

 private:
  QWidget* window_;
  QSize fixed_;
};

TEST_F(WindowTest, SizeGivenFromOutsideIsPutBackAndNeverShowsGrey) {
  const QSize fixed = window->size();
  ResizeWatcher watcher(window, fixed);
  window->windowHandle()->resize(fixed + QSize(150, 100));
  ASSERT_TRUE(SpinUntil([&] { return !watcher.shown.isNull(); }, 1000));
  // While it has that size, all that the window adds beside and below the
  // playfield is black.
  const QPoint corner = window->playfield()->mapTo(window, QPoint(512, 512));
  EXPECT_EQ(watcher.shown.pixelColor(corner + QPoint(100, 40)), QColor(Qt::black));
  EXPECT_EQ(watcher.shown.pixelColor(QPoint(10, corner.y() + 40)), QColor(Qt::black));
  EXPECT_TRUE(SpinUntil([&] { return window->size() == fixed; }, 1000));
  EXPECT_EQ(window->windowHandle()->size(), fixed);
}

TEST_F(WindowTest, OpenMenuHoldsTheGameUntilItCloses) {
  tavro_qt::FrameTimer()->stop();
  const int savedWait = WaitFlag;
  QMenu* menu = window->popup(1);
  const QRect title = window->menuBar()->actionGeometry(menu->menuAction());
  QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                    window->menuBar()->mapTo(window, title.center()));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
  const long long frames = tavro_qt::FramesRun();
  World.frameTick = 1;
  for (int wait : {1, 0}) {
    WaitFlag = wait;
    for (int i = 0; i < 3; i++) EXPECT_FALSE(tavro_qt::RunLoopOnce(false));
  }
  EXPECT_EQ(tavro_qt::FramesRun(), frames);
  EXPECT_EQ(World.frameTick, 1);  // the tick stays pending
  WaitFlag = 1;
  menu->hide();
  EXPECT_TRUE(tavro_qt::RunLoopOnce(false));
  EXPECT_EQ(tavro_qt::FramesRun(), frames + 1);
  WaitFlag = savedWait;
  tavro_qt::FrameTimer()->start();
}

// Scale by ratio and available area (logical pixels; 60 of chrome).
TEST(PlayfieldScale, LargestWholeDeviceScaleWhoseWindowFits) {
  struct Case {
    double ratio;
    QSize available;
    int scale;
    int side;  // logical pixels of the playfield
  };
  const Case cases[] = {
      {1, {1280, 984}, 1, 512},     {1, {2560, 1600}, 3, 1536},  {1, {300, 200}, 1, 512},
      {2, {1024, 512}, 1, 256},     {2, {1920, 1080}, 3, 768},   {1.5, {1280, 683}, 1, 342},
      {1.5, {2560, 1400}, 3, 1024}, {1.25, {1536, 900}, 2, 820}, {1.25, {3072, 1728}, 4, 1639},
      {3, {1280, 720}, 3, 512},     {1, {1000, 2000}, 1, 512},   {3, {1280, 571}, 2, 342},
  };
  for (const Case& c : cases) {
    const int scale = tavro_qt::ChoosePlayfieldScale(c.ratio, c.available, QSize(20, 60));
    EXPECT_EQ(scale, c.scale) << c.ratio << " " << c.available.height();
    EXPECT_EQ(tavro_qt::PlayfieldLogicalSize(scale, c.ratio), c.side) << c.ratio;
  }
}

// Every device pixel shows the game pixel it lies in (each game pixel a
// scale x scale square), and what lies beyond the picture is black.
std::string CheckSquarePixels(const QImage& shown, int scale, const QImage& frame) {
  const int side = kSurfaceWidth * scale;
  for (int y = 0; y < shown.height(); y++) {
    for (int x = 0; x < shown.width(); x++) {
      const QRgb want =
          x < side && y < side ? frame.pixel(x / scale, y / scale) : QColor(Qt::black).rgb();
      if (shown.pixel(x, y) != want) {
        return "device pixel " + std::to_string(x) + "," + std::to_string(y) + " at scale " +
               std::to_string(scale);
      }
    }
  }
  return "";
}

// A picture in which every game pixel differs from its neighbours.
QImage PatternFrame() {
  QImage frame(kSurfaceWidth, kSurfaceHeight, QImage::Format_RGB32);
  for (int y = 0; y < kSurfaceHeight; y++) {
    for (int x = 0; x < kSurfaceWidth; x++)
      frame.setPixel(x, y, qRgb(x & 0xFF, y & 0xFF, (x ^ y) & 0xFF));
  }
  return frame;
}

TEST(PlayfieldScale, EveryGamePixelIsTheSameSquareAtAnyRatio) {
  const QImage frame = PatternFrame();
  for (double ratio : {1.0, 1.25, 1.5, 2.0, 3.0}) {
    for (int scale : {1, 2, 3}) {
      const int logical = tavro_qt::PlayfieldLogicalSize(scale, ratio) + 3;
      const int device = static_cast<int>(logical * ratio);
      QImage shown(device, device, QImage::Format_RGB32);
      shown.fill(Qt::gray);
      shown.setDevicePixelRatio(ratio);
      {
        QPainter painter(&shown);
        tavro_qt::PaintPlayfield(painter, QRect(0, 0, logical, logical), ratio, scale, frame);
      }
      EXPECT_EQ(CheckSquarePixels(shown, scale, frame), "") << "ratio " << ratio;
    }
  }
}

TEST_F(WindowTest, AtRatioOneAndAHalfTheWindowShowsSquarePixelsAndShootsAtThePointer) {
  EXPECT_SCENARIO_AT_SCALE("1.5", [this]() -> std::string {
    tavro_qt::Playfield* field = window->playfield();
    if (field->devicePixelRatioF() != 1.5)
      return "ratio " + std::to_string(field->devicePixelRatioF());
    const int side = tavro_qt::PlayfieldLogicalSize(field->scale(), 1.5);
    if (field->size() != QSize(side, side)) return "playfield not sized by its scale";
    tavro_qt::FrameTimer()->stop();
    World.frameTick = 1;
    tavro_qt::RunLoopOnce(false);
    const QImage frame(reinterpret_cast<const uchar*>(SurfacePixels()), 512, 512, 512 * 4,
                       QImage::Format_RGB32);
    const std::string pixels =
        CheckSquarePixels(field->grab().toImage().convertToFormat(QImage::Format_RGB32),
                          field->scale(), frame.copy());
    if (!pixels.empty()) return pixels;
    ChooseMenuItem(0, ID_GAME_START);
    for (Explosion& e : World.explosions) e = Explosion{};
    World.shotsThisFrame = 0;
    // Game pixels that are multiples of 3 start on a whole logical pixel.
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, WindowPoint(300, 201));
    if (World.explosions[0].stage == 0) return "no shot";
    if (World.explosions[0].x != 300 || World.explosions[0].y != 201) return "shot misplaced";
    return "";
  });
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
      {"開始(&S)", "ゲーム中止(&D)", "", "ランキングのクリア...", "ネットランキング(&N)...", "",
       "終了(&X)..."},
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
  EXPECT_EQ(window->action(ID_GAME_SHARED_RANKING)->statusTip(),
            QString("みんなのランキングを表示します"));
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

// The online status stands in the status bar: a menu hint passes over it
// and leaves it, and a line longer than the window is cut, not widening it.
TEST_F(WindowTest, OnlineStatusStaysUnderMenuHintsAndNeverWidensTheWindow) {
  const QSize fixed = window->size();
  const QString line =
      QString::fromUtf8("ネットランキングのサーバーに接続できません。").repeated(6);
  PlatformShowOnlineStatus(line.toUtf8().constData());
  EXPECT_EQ(window->StatusLine(), line);
  QTest::qWait(20);
  EXPECT_EQ(window->size(), fixed);
  QMenu* menu = window->popup(0);
  const QRect title = window->menuBar()->actionGeometry(menu->menuAction());
  QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                    window->menuBar()->mapTo(window, title.center()));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
  QTest::mouseMove(menu->windowHandle(),
                   menu->actionGeometry(window->action(ID_GAME_START)).center());
  QTest::qWait(20);
  EXPECT_EQ(window->statusBar()->currentMessage(), QString("ゲームを開始します"));
  menu->hide();
  QTest::qWait(20);
  EXPECT_TRUE(window->statusBar()->currentMessage().isEmpty());
  EXPECT_EQ(window->StatusLine(), line);
  const auto labels = window->statusBar()->findChildren<QLabel*>();
  EXPECT_TRUE(std::any_of(labels.begin(), labels.end(),
                          [&](QLabel* l) { return l->isVisible() && l->text() == line; }));
  EXPECT_EQ(window->size(), fixed);
  PlatformShowOnlineStatus("");
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
