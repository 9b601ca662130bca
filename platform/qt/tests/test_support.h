// Shared pieces of the desktop program's tests: one real main window per
// test process, and helpers that answer the program's modal boxes.
#pragma once

#include <gtest/gtest.h>

#include <QObject>
#include <QStringList>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace tavro_qt {
class MainWindow;
}

namespace tavro_qt_test {

// Creates, shows and starts the main window once per process (start-up as
// the program does it) and returns it.
tavro_qt::MainWindow* EnsureHost();

// Calls action with the next modal widget as soon as one is shown (checked
// every 5 ms for up to 5 s, from the running event loop).
void WhenModalShown(std::function<void(QWidget*)> action);
// Drops the watchers of WhenModalShown that have not fired.
void CancelModalWatchers();

// Explosions in use (stage not 0).
int LiveExplosions();

// Where the playfield point (x, y) is in the main window's coordinates: the
// logical pixel that holds the middle of that game pixel.
QPoint WindowPoint(int x, int y);

// Opens a popup of the menu bar the way the player does (its items are
// brought up to date) and closes it again.
void OpenPopup(int position);
// Chooses a menu item as the player does: opens its popup, then the item
// (nothing happens when the item is greyed).
void ChooseMenuItem(int position, int commandId);

// Whether any pixel of the framebuffer is not black.
bool SurfaceHasPicture();

// Runs passes of the main loop until done() holds or ms elapse.
bool SpinUntil(const std::function<bool()>& done, int ms = 3000);

// Frames run by the main loop, each on a tick of its own.
void Frames(int count);

// The first rock in the air, if any: (x, y) of its centre.
bool RockInView(int* x, int* y);

// Types `name` into every name-entry dialog that opens while it lives.
class NameTyper : public QObject {
 public:
  explicit NameTyper(const char* name);
  int typed = 0;

 private:
  const char* name_;
};

// A whole file's bytes ("" when it cannot be read).
std::string ReadAll(const std::string& path);
// Runs tavro-sim (TAVRO_SIM_PATH) with the arguments; its standard output,
// and its status (-1 when it did not end normally within two minutes).
std::string RunSim(const QStringList& arguments, int* status);

// A test on the running program's main window.
class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { window = EnsureHost(); }
  void TearDown() override { CancelModalWatchers(); }
  tavro_qt::MainWindow* window = nullptr;
};

}  // namespace tavro_qt_test

// Runs a scenario that ends the program in a fresh process of this test
// binary; the scenario returns an empty string on success, else what failed.
#define EXPECT_SCENARIO_IN_CHILD(scenario)                                   \
  EXPECT_EXIT(                                                               \
      {                                                                      \
        const std::string failure = (scenario)();                            \
        if (!failure.empty()) std::fprintf(stderr, "%s\n", failure.c_str()); \
        std::fflush(stderr);                                                 \
        std::_Exit(failure.empty() ? 0 : 1);                                 \
      },                                                                     \
      ::testing::ExitedWithCode(0), "")

// The same in a child whose toolkit scales everything by `factor` (a
// string such as "1.5"), as on a high-density screen.
#define EXPECT_SCENARIO_AT_SCALE(factor, scenario) \
  do {                                             \
    qputenv("QT_SCALE_FACTOR", factor);            \
    EXPECT_SCENARIO_IN_CHILD(scenario);            \
    qunsetenv("QT_SCALE_FACTOR");                  \
  } while (0)
