// What the program does in the shared ranking's tests, each run in a fresh
// process of the test binary (online_support.h): the real main window and
// session, the frames run by the scenario, the network left to QtNetwork.
// A scenario returns "" or what failed, and tells the test what it needs on
// standard output as "key value" lines.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QWindow>
#include <QtTest/QTest>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>

#include "app/script_player.h"
#include "app/session.h"
#include "app/window_proc.h"
#include "host/files.h"
#include "online/shared_ranking.h"
#include "platform/qt/host.h"
#include "platform/qt/main_window.h"
#include "platform/qt/network.h"
#include "platform/qt/shared_ranking_dialog.h"
#include "platform/qt/tests/online_support.h"
#include "platform/qt/tests/test_support.h"
#include "records/settings.h"
#include "replay/replay_file.h"
#include "world/world.h"

namespace tavro_qt_test {
namespace {

QString Env(const char* name) {
  return qEnvironmentVariable(name);
}

// The program as it starts for the player, but with its frames run by the
// scenario (the tick's timer is left stopped).
tavro_qt::MainWindow* StartPlayer() {
  tavro_qt::InstallTerminationHandlers();
  tavro_qt::PrepareHost();
  tavro_qt::MainWindow* window = tavro_qt::CreateHost();
  window->show();
  if (!QTest::qWaitForWindowExposed(window)) std::fprintf(stderr, "the window was not exposed\n");
  StartSession();
  return window;
}

// Ends the program in order (settings saved, the session's record kept).
void EndPlayer() {
  tavro_qt::EndProgramNow();
  QCoreApplication::processEvents();
}

// A game played to its end from the menu: rocks hit at first with rapid
// fire, then none until the ground has risen; the name typed into the
// name-entry dialog. With an empty ranking any score ranks. The frames of
// shooting are TAVRO_TEST_SHOOTING's when set (another play, another score).
std::string PlayRankedGame(const char* name) {
  const int shooting =
      Env("TAVRO_TEST_SHOOTING").isEmpty() ? 150 : Env("TAVRO_TEST_SHOOTING").toInt();
  Frames(5);
  ChooseMenuItem(1, ID_SETTINGS_RAPID);
  ChooseMenuItem(0, ID_GAME_START);
  if (World.demoMode != 0) return "no game started";
  QWindow* handle = tavro_qt::HostWindow()->windowHandle();
  for (int i = 0; i < shooting; i++) {
    int x = 256;
    int y = 100;
    RockInView(&x, &y);
    if (i % 3 == 0) {
      QTest::mouseClick(handle, Qt::LeftButton, {}, WindowPoint(x, y));
    } else {
      QTest::mouseMove(handle, WindowPoint(x + i % 2, y));
    }
    Frames(1);
  }
  if (World.score <= 0) return "no rock was hit";
  NameTyper typer(name);
  long long frames = shooting;
  for (; frames < 200000 && World.demoMode == 0; frames++) Frames(1);
  if (World.demoMode == 0) return "the game did not end";
  if (typer.typed != 1) return "no name dialog";
  if (std::string(World.ranking[0].name) != name) return "the name did not reach the ranking";
  std::printf("score %d\nlevel %d\ngame-frames %lld\n", World.ranking[0].score,
              World.ranking[0].level, frames);
  return "";
}

// Runs the main loop (without frames) until the status line holds `part`;
// each line it showed meanwhile is told as "status TEXT".
std::string WaitForStatus(const QString& part) {
  tavro_qt::MainWindow* window = tavro_qt::HostWindow();
  QString shown;
  const auto seen = [&] {
    if (window->StatusLine() != shown) {
      shown = window->StatusLine();
      std::printf("status %s\n", shown.toUtf8().constData());
    }
    return shown.contains(part);
  };
  if (!SpinUntil(seen, 120000)) {
    return "the status line says \"" + window->StatusLine().toStdString() + "\", not \"" +
           part.toStdString() + "\"";
  }
  return "";
}

int OutboxFiles() {
  const QDir outbox(QString::fromStdString(DefaultReplaysFolder()) + QStringLiteral("/outbox"));
  return static_cast<int>(outbox.entryList({QStringLiteral("*.tavroreplay")}, QDir::Files).size());
}

tavro_qt::SharedRankingDialog* OpenDialogFromTheMenu() {
  ChooseMenuItem(0, ID_GAME_SHARED_RANKING);
  tavro_qt::SharedRankingDialog* dialog = tavro_qt::SharedRankingDialogIfAny();
  if (dialog == nullptr || !QTest::qWaitForWindowExposed(dialog)) return nullptr;
  return dialog;
}

QString Cell(QTableWidget* table, int row, int column) {
  QTableWidgetItem* item = table->item(row, column);
  return item != nullptr ? item->text() : QString();
}

// What every dialog shows whatever its state: the caption, the texts, the
// choices as the view holds them, the three tabs; modeless.
std::string CheckDialogFrame(tavro_qt::SharedRankingDialog* dialog) {
  const SharedRankingViewData& view = SharedRankingView();
  if (dialog->windowTitle() != QString::fromUtf8(kSharedRankingCaption)) return "caption";
  if (dialog->isModal() || QApplication::activeModalWidget() != nullptr) return "modal";
  bool disclosure = false;
  for (QLabel* label : dialog->findChildren<QLabel*>()) {
    disclosure |= label->isVisible() && label->text() == QString::fromUtf8(kOnlineDisclosure);
  }
  if (!disclosure) return "the disclosure is not shown";
  if (dialog->enableBox()->text() != QString::fromUtf8(kOnlineEnableLabel)) return "enable text";
  if (dialog->enableBox()->isChecked() != view.settings.enabled) return "enable box";
  if (dialog->autoSendBox()->isChecked() != view.settings.autoSend) return "auto-send box";
  if (dialog->serverField()->text() != QString::fromStdString(view.server)) return "server field";
  if (dialog->tabs()->count() != kSharedPeriodCount) return "tabs";
  for (int p = 0; p < kSharedPeriodCount; p++) {
    if (dialog->tabs()->tabText(p) != QString::fromUtf8(kSharedPeriodTitles[p])) return "tab title";
    for (int c = 0; c < 4; c++) {
      if (dialog->table(p)->horizontalHeaderItem(c)->text() !=
          QString::fromUtf8(kSharedColumnTitles[c])) {
        return "column title";
      }
    }
  }
  if (dialog->watchButton()->text() != QString::fromUtf8(kOnlineWatchLabel)) return "watch text";
  if (dialog->refreshButton()->text() != QString::fromUtf8(kOnlineRefreshLabel)) return "refresh";
  return "";
}

// (a) A ranked game sent at once, the answer in the status line, the game
// in the dialog's All tab, and its replay fetched for watching.
std::string RankedOnline() {
  const QString name = Env("TAVRO_TEST_NAME");
  const QString argsFile = Env("TAVRO_TEST_WATCH_ARGS");
  // The second copy's stand-in writes down what it was given.
  tavro_qt::SetWatchProgram(
      QStringLiteral("/bin/sh"),
      {QStringLiteral("-c"), QStringLiteral("printf '%s\\n' \"$@\" > \"$0\""), argsFile});
  tavro_qt::MainWindow* window = StartPlayer();
  const QByteArray nameBytes = name.toUtf8();
  std::string failure = PlayRankedGame(nameBytes.constData());
  if (!failure.empty()) return failure;
  const int score = World.ranking[0].score;
  const int level = World.ranking[0].level;
  failure = WaitForStatus(QStringLiteral("ネットランキングに登録されました: 全期間 1位"));
  if (!failure.empty()) return failure;
  if (!SpinUntil([] { return OutboxFiles() == 0; }, 10000)) return "the outbox keeps the file";

  tavro_qt::SharedRankingDialog* dialog = OpenDialogFromTheMenu();
  if (dialog == nullptr) return "no dialog";
  failure = CheckDialogFrame(dialog);
  if (!failure.empty()) return "dialog: " + failure;
  if (dialog->tabs()->currentIndex() != static_cast<int>(SharedPeriod::All)) return "not on All";
  QTableWidget* all = dialog->table(static_cast<int>(SharedPeriod::All));
  if (!SpinUntil([&] { return all->isVisible() && all->rowCount() == 1; }, 60000)) {
    return "the All tab shows no row: " +
           dialog->stateLine(static_cast<int>(SharedPeriod::All))->text().toStdString();
  }
  if (Cell(all, 0, 0) != QStringLiteral("1") || Cell(all, 0, 1) != name ||
      Cell(all, 0, 2) != QString::number(score) || Cell(all, 0, 3) != QString::number(level + 1)) {
    return "the All tab's row: " + Cell(all, 0, 0).toStdString() + " " +
           Cell(all, 0, 1).toStdString() + " " + Cell(all, 0, 2).toStdString() + " " +
           Cell(all, 0, 3).toStdString();
  }
  if (!dialog->statusLine()->text().contains(QStringLiteral("登録されました"))) {
    return "the dialog's status line: " + dialog->statusLine()->text().toStdString();
  }
  // Modeless: the frames go on while it is open.
  const long long before = tavro_qt::FramesRun();
  Frames(10);
  if (tavro_qt::FramesRun() != before + 10) return "no frames while the dialog is open";
  if (dialog->watchButton()->isEnabled()) return "watch enabled with no row chosen";
  all->selectRow(0);
  if (!dialog->watchButton()->isEnabled()) return "watch disabled for a chosen row";
  QTest::mouseClick(dialog->watchButton(), Qt::LeftButton);
  const auto watched = [&] {
    return ReadAll(argsFile.toStdString()).find("--from-game\n") != std::string::npos;
  };
  if (!SpinUntil(watched, 60000)) return "the replay was not opened for watching";
  // A new look at the rankings: asked at once, shown when it comes.
  QTest::mouseClick(dialog->refreshButton(), Qt::LeftButton);
  if (all->isVisible()) return "the All tab was not asked for anew";
  if (!SpinUntil([&] { return all->isVisible() && Cell(all, 0, 1) == name; }, 60000)) {
    return "the All tab did not come back";
  }
  dialog->close();
  if (window->StatusLine().isEmpty()) return "the status line went";
  EndPlayer();
  return "";
}

// (b) The server cannot be reached: the replay waits in the outbox.
std::string RankedOffline() {
  StartPlayer();
  std::string failure = PlayRankedGame(Env("TAVRO_TEST_NAME").toUtf8().constData());
  if (!failure.empty()) return failure;
  failure = WaitForStatus(QStringLiteral("次回の起動時に送信されます"));
  if (!failure.empty()) return failure;
  if (OutboxFiles() != 1) return std::to_string(OutboxFiles()) + " files in the outbox";
  EndPlayer();
  if (OutboxFiles() != 1) return "the outbox lost its file at the exit";
  return "";
}

// (b) The next start sends what waits, oldest first.
std::string SendWaiting() {
  StartPlayer();
  const std::string failure =
      WaitForStatus(QStringLiteral("ネットランキングに登録されました: 全期間 1位"));
  if (!failure.empty()) return failure;
  if (!SpinUntil([] { return OutboxFiles() == 0; }, 10000)) return "the outbox keeps the file";
  EndPlayer();
  return "";
}

// (c) Online play off: a ranked game, the dialog opened, its choices
// changed but not the one that joins; nothing may connect.
std::string RankedQuiet() {
  const QString port = Env("TAVRO_TEST_PORT");
  int boxes = 0;
  QTimer guard;
  QObject::connect(&guard, &QTimer::timeout, [&boxes] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      boxes++;
      if (QAbstractButton* cancel = box->button(QMessageBox::Cancel)) {
        cancel->click();
      } else {
        box->close();
      }
    }
  });
  guard.start(5);
  tavro_qt::MainWindow* window = StartPlayer();
  std::string failure = PlayRankedGame("Quiet");
  if (!failure.empty()) return failure;
  Frames(50);
  if (boxes != 0) return "a box asked about sending";
  if (!window->StatusLine().isEmpty()) return "status: " + window->StatusLine().toStdString();

  tavro_qt::SharedRankingDialog* dialog = OpenDialogFromTheMenu();
  if (dialog == nullptr) return "no dialog";
  failure = CheckDialogFrame(dialog);
  if (!failure.empty()) return "dialog: " + failure;
  const QString server = QStringLiteral("http://127.0.0.1:") + port;
  if (dialog->serverField()->text() != server) return "the server field is not prefilled";
  for (int p = 0; p < kSharedPeriodCount; p++) {
    auto* page = qobject_cast<QStackedWidget*>(dialog->stateLine(p)->parentWidget());
    if (page == nullptr || page->currentWidget() != dialog->stateLine(p) ||
        dialog->stateLine(p)->text() !=
            QString::fromUtf8(SharedTableStateText(SharedRankingTable()))) {
      return "tab " + std::to_string(p) + " does not say that online play is off";
    }
  }
  if (dialog->watchButton()->isEnabled() || dialog->refreshButton()->isEnabled()) {
    return "watch or refresh enabled with online play off";
  }
  // The address as typed is made usable and kept; the auto-send box too.
  QLineEdit* field = dialog->serverField();
  field->setFocus();
  field->selectAll();
  QTest::keyClicks(field, QStringLiteral(" 127.0.0.1:") + port + QStringLiteral("/ "));
  QTest::keyClick(field, Qt::Key_Return);
  if (field->text() != server) return "the field shows " + field->text().toStdString();
  // On the box itself, at the line's start.
  QTest::mouseClick(dialog->autoSendBox(), Qt::LeftButton, {},
                    QPoint(8, dialog->autoSendBox()->height() / 2));
  const std::string ini = ReadAll(SettingsFilePath());
  if (ini.find("Server=" + server.toStdString()) == std::string::npos ||
      ini.find("AutoSend=1") == std::string::npos || ini.find("Enabled=0") == std::string::npos) {
    return "the choices were not saved:\n" + ini;
  }
  SessionRefreshSharedRanking();
  dialog->close();
  if (OpenDialogFromTheMenu() != dialog) return "a second dialog";
  dialog->close();
  // Time for anything that would have started to connect.
  SpinUntil([] { return false; }, 500);
  Frames(20);
  if (OutboxFiles() != 0) return "a replay was kept to be sent";
  EndPlayer();
  return "";
}

// (d) The replay's keys, counted in frames a tick.
std::string PlaybackKeys() {
  ReplaySession session;
  std::string error;
  if (!LoadReplayFile(Env("TAVRO_TEST_REPLAY").toStdString(), 1, &session, &error)) return error;
  const long long secondGame = Env("TAVRO_TEST_SECOND").toLongLong();
  tavro_qt::PrepareHost();
  tavro_qt::MainWindow* window = tavro_qt::CreateHost();
  BeginReplaySession(session);
  window->show();
  if (!QTest::qWaitForWindowExposed(window)) return "the window was not exposed";
  StartSession();
  QWindow* handle = window->windowHandle();
  // One tick and the main loop's pass after it: the frames it ran.
  const auto tick = [] {
    const long long before = PlaybackFramesRun();
    tavro_qt::FrameTimerProc();
    tavro_qt::RunLoopOnce(false);
    return PlaybackFramesRun() - before;
  };
  struct Step {
    char key;     // 0: none
    int ticks;    // ticks after it
    int perTick;  // frames each tick runs
    const char* title;
  };
  const Step steps[] = {
      {0, 3, 1, "replay"},
      {'.', 2, 1, "replay"},  // a step only while paused
      {' ', 4, 0, "replay (paused)"},
      {'.', 1, 1, "replay (paused)"},
      {0, 3, 0, "replay (paused)"},
      {'x', 2, 0, "replay (paused)"},
      {'.', 1, 1, "replay (paused)"},
      {'2', 4, 2, "replay (2x)"},
      {'4', 4, 4, "replay (4x)"},
      {' ', 2, 0, "replay (paused)"},
      {' ', 2, 4, "replay (4x)"},
      {'1', 3, 1, "replay"},
  };
  int index = 0;
  for (const Step& step : steps) {
    if (step.key != 0) QTest::keyClick(handle, step.key);
    for (int t = 0; t < step.ticks; t++) {
      const long long ran = tick();
      if (ran != step.perTick) {
        return "step " + std::to_string(index) + " tick " + std::to_string(t) + ": " +
               std::to_string(ran) + " frames, not " + std::to_string(step.perTick);
      }
    }
    const QString title = QStringLiteral("TAVRO Ver.1.5 - ") + QString::fromUtf8(step.title);
    if (window->windowTitle() != title) {
      return "step " + std::to_string(index) + ": title " + window->windowTitle().toStdString();
    }
    index++;
  }
  // The next game: unseen up to its start, then one frame a tick again.
  QTest::keyClick(handle, 'n');
  if (!SessionJumping()) return "'n' did not jump";
  if (!SpinUntil([] { return !SessionJumping(); }, 60000)) return "the jump did not end";
  if (PlaybackFramesRun() != secondGame - 1) {
    return "the jump ended at frame " + std::to_string(PlaybackFramesRun());
  }
  if (tick() != 1) return "not one frame a tick after the jump";
  if (window->windowTitle() != QStringLiteral("TAVRO Ver.1.5 - replay")) return "title after 'n'";
  // No game after the last one.
  QTest::keyClick(handle, 'n');
  if (SessionJumping()) return "a jump past the last game";
  tavro_qt::EndProgramNow();
  return "";
}

// (a) A replay watched in the program to its end, fast: its last picture
// against the runner's.
std::string WatchToTheEnd() {
  const QString replay = Env("TAVRO_TEST_REPLAY");
  const QString png = Env("TAVRO_TEST_PNG");
  std::string failure;
  bool ended = false;
  bool fast = false;
  QElapsedTimer running;
  running.start();
  QTimer player;
  QObject::connect(&player, &QTimer::timeout, [&] {
    tavro_qt::MainWindow* window = tavro_qt::HostWindow();
    if (window == nullptr || !window->isVisible() || ended) return;
    if (window->StatusLine() != QString::fromUtf8(kPlaybackKeysHint)) failure = "no keys hint";
    if (running.elapsed() > 200000) {
      failure = "the replay did not end";
      window->close();
      return;
    }
    if (!fast && !SessionJumping() && !PlaybackFinished()) {
      QTest::keyClick(window->windowHandle(), '4');
      fast = window->windowTitle().endsWith(QStringLiteral("replay (4x)"));
    }
    if (!PlaybackFinished()) return;
    ended = true;
    QTest::qWait(30);
    if (!window->windowTitle().endsWith(QStringLiteral("replay ended"))) failure = "title";
    const QImage shown =
        window->playfield()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage expected = QImage(png).convertToFormat(QImage::Format_RGB32);
    if (expected.isNull()) failure = "no runner's picture";
    if (shown != expected) failure = "the last frame differs from the runner's picture";
    window->close();
  });
  player.start(7);
  const int code =
      tavro_qt::RunProgram({QStringLiteral("tavro"), QStringLiteral("--replay"), replay,
                            QStringLiteral("--from-game"), Env("TAVRO_TEST_FROM")});
  if (code != 0) return "exit code " + std::to_string(code);
  if (!ended && failure.empty()) return "the replay did not end";
  if (!fast) return "'4' did not speed the replay up";
  return failure;
}

}  // namespace

int RunChildScenario(const QString& name) {
  static const std::map<QString, std::function<std::string()>> scenarios = {
      {QStringLiteral("ranked-online"), RankedOnline},
      {QStringLiteral("ranked-offline"), RankedOffline},
      {QStringLiteral("send-waiting"), SendWaiting},
      {QStringLiteral("ranked-quiet"), RankedQuiet},
      {QStringLiteral("playback-keys"), PlaybackKeys},
      {QStringLiteral("watch"), WatchToTheEnd},
  };
  const auto found = scenarios.find(name);
  const std::string failure =
      found != scenarios.end() ? found->second() : "no scenario " + name.toStdString();
  if (!failure.empty()) std::fprintf(stderr, "FAILED: %s\n", failure.c_str());
  std::fflush(stdout);
  std::fflush(stderr);
  // The program's own end has run; nothing more is torn down.
  std::_Exit(failure.empty() ? 0 : 1);
}

}  // namespace tavro_qt_test
