// The main loop's pacing and the program's orderly ends.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTimer>
#include <QtTest/QTest>
#include <csignal>
#include <cstring>

#include "app/window_proc.h"
#include "host/window.h"
#include "platform/qt/dialogs.h"
#include "platform/qt/host.h"
#include "platform/qt/main_window.h"
#include "platform/qt/tests/test_support.h"
#include "records/settings.h"
#include "surface/surface.h"
#include "world/world.h"

using namespace tavro_qt_test;

namespace {

class MainLoopTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    savedWait = WaitFlag;
  }
  void TearDown() override {
    WaitFlag = savedWait;
    tavro_qt::FrameTimer()->start();
    HostTest::TearDown();
  }
  int savedWait = 1;
};

TEST_F(MainLoopTest, TicksAreAFlagAndWaitFlagZeroRunsFramesBackToBack) {
  tavro_qt::FrameTimer()->stop();
  QTest::qWait(30);
  WaitFlag = 1;
  World.frameTick = 0;
  EXPECT_FALSE(tavro_qt::RunLoopOnce(false));
  tavro_qt::FrameTimerProc();
  tavro_qt::FrameTimerProc();
  World.shotsThisFrame = 5;
  EXPECT_TRUE(tavro_qt::RunLoopOnce(false));
  EXPECT_EQ(World.frameTick, 0);
  EXPECT_EQ(World.shotsThisFrame, 0);
  EXPECT_FALSE(tavro_qt::RunLoopOnce(false));

  WaitFlag = 0;
  const long long before = tavro_qt::FramesRun();
  for (int i = 0; i < 3; i++) EXPECT_TRUE(tavro_qt::RunLoopOnce(false));
  EXPECT_EQ(tavro_qt::FramesRun(), before + 3);
}

TEST_F(MainLoopTest, TheTickDrivesFramesWhileTheLoopWaits) {
  WaitFlag = 1;
  tavro_qt::FrameTimer()->start();
  const long long before = tavro_qt::FramesRun();
  // Waiting passes return when an event (the tick) has come.
  for (int i = 0; i < 200 && tavro_qt::FramesRun() < before + 3; i++) tavro_qt::RunLoopOnce(true);
  EXPECT_GE(tavro_qt::FramesRun(), before + 3);
}

TEST_F(MainLoopTest, FramesAreShownInTheWindow) {
  tavro_qt::FrameTimer()->stop();
  World.frameTick = 1;
  ASSERT_TRUE(tavro_qt::RunLoopOnce(false));
  QTest::qWait(20);
  const QImage shown = window->playfield()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QImage frame(reinterpret_cast<const uchar*>(SurfacePixels()), 512, 512, 512 * 4,
                     QImage::Format_RGB32);
  ASSERT_EQ(shown.size(), QSize(512, 512));
  EXPECT_EQ(shown, frame);
}

TEST_F(MainLoopTest, SigtermSavesTheSettingsAndQuitsWithCodeZero) {
  EXPECT_SCENARIO_IN_CHILD([]() -> std::string {
    QFile::remove(QString::fromStdString(SettingsFilePath()));
    std::raise(SIGTERM);
    if (!SpinUntil([] { return tavro_qt::QuitRequested(); })) return "did not quit on SIGTERM";
    if (tavro_qt::QuitExitCode() != 0) return "exit code not 0";
    if (!QFile::exists(QString::fromStdString(SettingsFilePath()))) return "no settings file";
    return "";
  });
}

TEST_F(MainLoopTest, SigintDuringNameEntryKeepsTheTypedName) {
  EXPECT_SCENARIO_IN_CHILD([]() -> std::string {
    QFile::remove(QString::fromStdString(SettingsFilePath()));
    WhenModalShown([](QWidget* modal) {
      if (auto* dialog = qobject_cast<tavro_qt::NameEntryDialog*>(modal)) {
        QTest::keyClicks(dialog->field(), "Kim");
      }
      std::raise(SIGINT);
    });
    char text[32] = "";
    if (!PlatformNameEntry(text, sizeof text)) return "the dialog was not shown";
    if (std::strcmp(text, "Kim") != 0) return std::string("name lost: ") + text;
    // No further box is shown once the end is under way.
    if (PlatformConfirm(ConfirmBox::Exit)) return "a confirmation was answered during shutdown";
    if (!SpinUntil([] { return tavro_qt::QuitRequested(); })) return "did not quit on SIGINT";
    if (!QFile::exists(QString::fromStdString(SettingsFilePath()))) return "no settings file";
    return "";
  });
}

TEST_F(MainLoopTest, SessionQuitRequestSavesAndQuits) {
  EXPECT_SCENARIO_IN_CHILD([]() -> std::string {
    QFile::remove(QString::fromStdString(SettingsFilePath()));
    QEvent quit(QEvent::Quit);
    QApplication::sendEvent(qApp, &quit);
    if (!SpinUntil([] { return tavro_qt::QuitRequested(); })) return "did not quit";
    if (!QFile::exists(QString::fromStdString(SettingsFilePath()))) return "no settings file";
    return "";
  });
}

}  // namespace
