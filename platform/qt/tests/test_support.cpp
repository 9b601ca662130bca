// The shared pieces of the desktop program's tests (test_support.h).
#include "platform/qt/tests/test_support.h"

#include <QApplication>
#include <QLineEdit>
#include <QList>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <QWindow>
#include <QtTest/QTest>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/window_proc.h"
#include "platform/qt/dialogs.h"
#include "platform/qt/host.h"
#include "platform/qt/main_window.h"
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

void Frames(int count) {
  for (int i = 0; i < count; i++) {
    tavro_qt::FrameTimerProc();
    tavro_qt::RunLoopOnce(false);
  }
}

bool RockInView(int* x, int* y) {
  for (const Meteor& m : World.meteors) {
    if (m.state == 1 && m.y > 20 && m.y < 400 && m.x > 0 && m.x < 511) {
      *x = m.x;
      *y = m.y;
      return true;
    }
  }
  return false;
}

NameTyper::NameTyper(const char* name) : name_(name) {
  auto* poll = new QTimer(this);
  connect(poll, &QTimer::timeout, this, [this] {
    auto* dialog = qobject_cast<tavro_qt::NameEntryDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible()) return;
    QTest::keyClicks(dialog->field(), name_);
    QTest::keyClick(dialog->field(), Qt::Key_Return);
    typed++;
  });
  poll->start(5);
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string RunSim(const QStringList& arguments, int* status) {
  QProcess sim;
  sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  sim.start(QStringLiteral(TAVRO_SIM_PATH), arguments);
  if (!sim.waitForFinished(120000)) {
    *status = -1;
    return "";
  }
  *status = sim.exitStatus() == QProcess::NormalExit ? sim.exitCode() : -1;
  return sim.readAllStandardOutput().toStdString();
}

}  // namespace tavro_qt_test
