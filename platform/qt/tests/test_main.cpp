// The tests drive the real main window; without a display they use Qt's
// offscreen platform. Each process keeps its settings and replays in its own
// folder.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QList>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <QtTest/QTest>
#include <chrono>
#include <cstdint>
#include <memory>

#include "app/window_proc.h"
#include "platform/qt/host.h"
#include "platform/qt/main_window.h"
#include "platform/qt/tests/test_support.h"
#include "surface/surface.h"
#include "world/world.h"

namespace tavro_qt_test {

tavro_qt::MainWindow* EnsureHost() {
  static tavro_qt::MainWindow* window = nullptr;
  if (window != nullptr) return window;
  tavro_qt::InstallTerminationHandlers();
  tavro_qt::PrepareHost();
  window = tavro_qt::CreateHost();
  window->show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
  StartUp();
  tavro_qt::FrameTimer()->start();
  return window;
}

namespace {
QList<QPointer<QTimer>> watchers;
}  // namespace

void CancelModalWatchers() {
  for (const QPointer<QTimer>& poll : watchers) delete poll.data();
  watchers.clear();
}

void WhenModalShown(std::function<void(QWidget*)> action) {
  auto* poll = new QTimer(qApp);
  watchers.append(poll);
  auto tries = std::make_shared<int>(0);
  QObject::connect(poll, &QTimer::timeout, poll, [poll, tries, action] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal->isVisible()) {
      poll->stop();
      poll->deleteLater();
      action(modal);
    } else if (++*tries > 1000) {
      poll->stop();
      poll->deleteLater();
    }
  });
  poll->start(5);
}

int LiveExplosions() {
  int n = 0;
  for (const Explosion& e : World.explosions) n += e.stage != 0 ? 1 : 0;
  return n;
}

QPoint WindowPoint(int x, int y) {
  tavro_qt::MainWindow* window = tavro_qt::HostWindow();
  const tavro_qt::Playfield* field = window->playfield();
  const double logical = field->scale() / field->devicePixelRatioF();
  return field->mapTo(
      window, QPoint(static_cast<int>((x + 0.5) * logical), static_cast<int>((y + 0.5) * logical)));
}

void OpenPopup(int position) {
  tavro_qt::MainWindow* window = tavro_qt::HostWindow();
  QMenu* menu = window->popup(position);
  menu->popup(window->mapToGlobal(QPoint(10, 10)));
  EXPECT_TRUE(QTest::qWaitForWindowExposed(menu));
  menu->hide();
}

void ChooseMenuItem(int position, int commandId) {
  OpenPopup(position);
  tavro_qt::HostWindow()->action(commandId)->trigger();
}

bool SurfaceHasPicture() {
  const std::uint32_t* pixels = SurfacePixels();
  for (int i = 0; i < kSurfaceWidth * kSurfaceHeight; i++) {
    if ((pixels[i] & 0xFFFFFF) != 0) return true;
  }
  return false;
}

bool SpinUntil(const std::function<bool()>& done, int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    tavro_qt::RunLoopOnce(false);
    QTest::qWait(1);
  }
  return true;
}

}  // namespace tavro_qt_test

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER")) qputenv("SDL_AUDIODRIVER", "dummy");
  char folder[] = "/tmp/tavro-qt-test-XXXXXX";
  if (mkdtemp(folder) == nullptr) return 2;
  qputenv("XDG_CONFIG_HOME", folder);
  qputenv("XDG_DATA_HOME", folder);
  int result = 0;
  {
    QApplication app(argc, argv);
    result = RUN_ALL_TESTS();
  }
  QDir(QString::fromLocal8Bit(folder)).removeRecursively();
  return result;
}
