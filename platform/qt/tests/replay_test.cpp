// Session records of the desktop program: recorded as the player plays,
// reproduced by the runner, played back in the window.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QExposeEvent>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <QtTest/QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/script_player.h"
#include "app/window_proc.h"
#include "host/files.h"
#include "platform/qt/dialogs.h"
#include "platform/qt/host.h"
#include "platform/qt/main_window.h"
#include "platform/qt/tests/test_support.h"
#include "records/settings.h"
#include "replay/recorder.h"
#include "surface/surface.h"
#include "world/world.h"

using namespace tavro_qt_test;

namespace {

std::vector<std::string> ReplayFiles() {
  std::vector<std::string> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(DefaultReplaysFolder(), error)) {
    files.push_back(entry.path().string());
  }
  return files;
}

// Answers the next message box with the button; `during` runs first, while
// it is open.
void AnswerNextBox(QMessageBox::StandardButton answer, std::function<void()> during = {}) {
  WhenModalShown([answer, during](QWidget* modal) {
    if (during) during();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) box->button(answer)->click();
  });
}

class RecordingTest : public HostTest {};

// A whole session played through the real window, from no settings file:
// its record reproduces every game in the runner, and the runner's settings
// file at the record's exit is the one the program wrote.
TEST_F(RecordingTest, SessionRecordReproducesInTheRunnerWithTheSameSettingsFile) {
  EXPECT_SCENARIO_IN_CHILD([this]() -> std::string {
    if (QFile::exists(QString::fromStdString(SettingsFilePath()))) return "a settings file exists";
    tavro_qt::FrameTimer()->stop();
    QWindow* handle = window->windowHandle();
    Frames(5);
    ChooseMenuItem(1, ID_SETTINGS_RAPID);
    if (RapidFlag != 1) return "rapid fire not switched on";
    AnswerNextBox(QMessageBox::Cancel);
    ChooseMenuItem(0, ID_GAME_CLEAR_RANKING);
    // The playfield is uncovered while the box is open: repainted whole.
    AnswerNextBox(QMessageBox::Ok, [handle] {
      QExposeEvent exposed{QRegion(0, 0, 512, 512)};
      QApplication::sendEvent(handle, &exposed);
    });
    ChooseMenuItem(0, ID_GAME_CLEAR_RANKING);
    Frames(3);
    ChooseMenuItem(0, ID_GAME_START);
    // Shots at the rocks: clicks, and moves that fire with rapid fire.
    for (int i = 0; i < 120; i++) {
      int x = 256;
      int y = 100;
      RockInView(&x, &y);
      if (i % 3 == 0) {
        QTest::mouseClick(handle, Qt::LeftButton, {}, WindowPoint(x, y));
      } else {
        QTest::mouseMove(handle, WindowPoint(x + i % 2, y));
      }
      Frames(1);
      if (i == 60) ChooseMenuItem(1, ID_SETTINGS_SOUND);
    }
    if (World.score <= 0) return "no rock was hit";
    // Then no more shots until the ground has risen: a ranked game.
    NameTyper typer("Ada");
    for (int i = 0; i < 200000 && World.demoMode == 0; i++) Frames(1);
    if (World.demoMode == 0) return "the game did not end";
    if (typer.typed != 1) return "no name dialog";
    if (std::string(World.ranking[0].name) != "Ada") return "the name did not reach the ranking";
    Frames(3);
    // The record is kept after each game, before the program ends.
    if (ReplayFiles().size() != 1) return "no replay written after the game";
    bool asked = false;
    AnswerNextBox(QMessageBox::Cancel, [&asked] { asked = true; });
    ChooseMenuItem(0, ID_GAME_EXIT);
    if (!SpinUntil([&asked] { return asked; })) return "no exit confirmation";
    Frames(2);
    AnswerNextBox(QMessageBox::Ok);
    ChooseMenuItem(0, ID_GAME_EXIT);
    if (!SpinUntil([] { return tavro_qt::QuitRequested(); })) return "the program did not quit";

    const std::vector<std::string> files = ReplayFiles();
    if (files.size() != 1) return std::to_string(files.size()) + " replay files";
    const std::string replay = files[0];
    const std::string text = ReadAll(replay);
    for (const char* event :
         {" rapid\n", " clear-cancel\n", " repaint\n", " clear\n", " start\n", " click ", " move ",
          " sound\n", " name Ada\n", " exit-cancel\n", " exit\n", "#@ game 1 score "}) {
      if (text.find(event) == std::string::npos) return std::string("no \"") + event + "\" event";
    }
    int status = 0;
    const std::string verified = RunSim({"--verify", QString::fromStdString(replay)}, &status);
    if (status != 0 || verified.find("verified: 1 game(s), 0 different") == std::string::npos) {
      return "the runner did not verify the replay:\n" + verified;
    }
    const std::string ini = replay + ".ini";
    RunSim({"--script", QString::fromStdString(replay), "--ini", QString::fromStdString(ini)},
           &status);
    if (status != 0) return "the runner failed on the replay";
    const std::string written = ReadAll(SettingsFilePath());
    if (written.empty() || written != ReadAll(ini)) {
      return "settings files differ:\n" + written + "---\n" + ReadAll(ini);
    }
    std::filesystem::remove_all(DefaultReplaysFolder());
    return "";
  });
}

// A short replay of two games; the second starts at frame 40.
std::string ShortReplay(const std::string& version = kReplayVersion) {
  return std::string(kReplayMagic) + "\n#@ version " + version +
         "\n#@ ini [ENVIRONMENT]\n#@ ini RapidFlag=1\n#@ ini WaitFlag=0\n"
         "1 start\n4 click 250 200\n9 move 100 120\n20 sound\n30 stop\n"
         "40 start\n44 click 300 260\n45 move 310 250\n70 click 200 300\n75 exit\n";
}

std::string WriteTemp(const std::string& name, const std::string& text) {
  const std::string path = QDir::tempPath().toStdString() + "/" + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// Plays the replay in the window while the player clicks and chooses the
// commands that would change the world; returns what failed, or "".
std::string PlayBackAndCompare(const std::string& replay, const QStringList& extra,
                               bool randomExposes = false) {
  int status = 0;
  const std::string png = replay + ".png";
  RunSim({"--script", QString::fromStdString(replay), "--png", QString::fromStdString(png)},
         &status);
  if (status != 0) return "the runner failed";
  std::string failure;
  bool ended = false;
  int rounds = 0;
  auto* player = new QTimer(qApp);
  QObject::connect(player, &QTimer::timeout, [&] {
    tavro_qt::MainWindow* window = tavro_qt::HostWindow();
    if (window == nullptr || !window->isVisible()) return;
    if (++rounds > 3000) window->close();  // about 20 s: it never ended
    if (randomExposes && !PlaybackFinished() && rounds % 3 == 0) {
      // the system asks for a part of the window anew now and then
      const int x = (rounds * 97) % 480, y = (rounds * 61) % 480;
      window->playfield()->update(QRect(x, y, 1 + rounds % 90, 1 + rounds % 70));
    }
    if (!PlaybackFinished()) {
      if (rounds % 10 != 0 || rounds > 200) return;
      QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, WindowPoint(256, 150));
      QTest::mouseMove(window->windowHandle(), WindowPoint(100 + World.score % 7, 120));
      for (int id : {ID_GAME_START, ID_GAME_STOP, ID_SETTINGS_RAPID, ID_SETTINGS_SOUND}) {
        window->action(id)->trigger();
      }
      return;
    }
    if (ended) return;
    ended = true;
    QTest::qWait(30);
    if (!window->windowTitle().endsWith(QStringLiteral("replay ended"))) failure = "title";
    const QImage shown =
        window->playfield()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage expected =
        QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);
    if (shown != expected) failure = "the last frame differs from the runner's picture";
    // what the frames' regions put on the window itself, not a fresh paint
    const QPoint corner = window->playfield()->mapTo(window, QPoint(0, 0));
    const QImage onScreen = window->screen()
                                ->grabWindow(window->winId())
                                .toImage()
                                .copy(QRect(corner, QSize(kSurfaceWidth, kSurfaceHeight)))
                                .convertToFormat(QImage::Format_RGB32);
    if (onScreen != expected) failure = "the window shows other pixels than the runner's picture";
    window->close();
  });
  player->start(7);
  const int code = tavro_qt::RunProgram(
      QStringList({"tavro", "--replay", QString::fromStdString(replay)}) + extra);
  delete player;
  if (!ended) return "the replay did not end";
  if (code != 0) return "exit code " + std::to_string(code);
  if (PlaybackFramesRun() != 74) return "frames run: " + std::to_string(PlaybackFramesRun());
  if (!ReplayFiles().empty()) return "a playback wrote a replay";
  if (QFile::exists(QString::fromStdString(DefaultSettingsFilePath()))) return "settings saved";
  return failure;
}

TEST(PlaybackTest, ThePlayerCannotChangeAPlaybackThatEndsOnTheRunnersPicture) {
  const std::string replay = WriteTemp("tavro-playback-test.tavroreplay", ShortReplay());
  EXPECT_SCENARIO_IN_CHILD([&] { return PlayBackAndCompare(replay, {}); });
}

TEST(PlaybackTest, AJumpToALaterGameEndsOnTheSamePicture) {
  const std::string replay = WriteTemp("tavro-playback-jump.tavroreplay", ShortReplay());
  EXPECT_SCENARIO_IN_CHILD([&] { return PlayBackAndCompare(replay, {"--from-game", "2"}); });
}

TEST(PlaybackTest, FramesShownByTheirRegionsWithExposesBetweenEndOnTheSamePicture) {
  const std::string replay = WriteTemp("tavro-playback-exposes.tavroreplay", ShortReplay());
  EXPECT_SCENARIO_IN_CHILD([&] { return PlayBackAndCompare(replay, {}, true); });
}

// A replay that cannot be played: the message names the reason (the line,
// where there is one), and the program ends with status 2.
TEST(PlaybackTest, AnUnplayableReplayIsNamedAndGivesStatusTwo) {
  const std::string header =
      std::string(kReplayMagic) + "\n#@ version " + kReplayVersion + "\n#@ ini [ENVIRONMENT]\n";
  const std::string fifo = QDir::tempPath().toStdString() + "/tavro-replay-fifo";
  std::remove(fifo.c_str());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string path;
    QStringList extra;
    QString message;
  };
  const Case cases[] = {
      {WriteTemp("tavro-bad-line.tavroreplay", header + "1 start\n5 click 100\n"), {}, "line 5"},
      {WriteTemp("tavro-truncated.tavroreplay", header + "1 start\n2 cl"), {}, "line 5"},
      {WriteTemp("tavro-foreign.tavroreplay", "\x89PNG\r\n\x1a\n\0\0"), {}, "not a TAVRO replay"},
      {WriteTemp("tavro-other.tavroreplay", ShortReplay("1.4.0")), {}, "version \"1.4.0\""},
      {WriteTemp("tavro-one-game.tavroreplay", header + "1 start\n"),
       {"--from-game", "2"},
       "no game 2"},
      {"/nonexistent/tavro.tavroreplay", {}, "no such file"},
      {fifo, {}, "not a regular file"},
  };
  for (const Case& c : cases) {
    QString shown;
    WhenModalShown([&shown](QWidget* modal) {
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        shown = box->text();
        box->button(QMessageBox::Ok)->click();
      }
    });
    const int code =
        tavro_qt::RunProgram(QStringList({"tavro", QString::fromStdString(c.path)}) + c.extra);
    CancelModalWatchers();
    EXPECT_EQ(code, 2) << c.path;
    EXPECT_TRUE(shown.contains(c.message)) << c.path << ": " << shown.toStdString();
  }
  std::remove(fifo.c_str());
}

}  // namespace
