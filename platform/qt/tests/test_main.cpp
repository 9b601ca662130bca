// The tests drive the real main window; without a display they use Qt's
// offscreen platform. Each process keeps its settings and replays in its own
// folder.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDir>

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
