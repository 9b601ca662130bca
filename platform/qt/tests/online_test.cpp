// The desktop program in the shared ranking, against a real tavro-board:
// a ranked game sent, shown in the dialog and played back from the server;
// a replay kept while the server is away and sent at the next start; no
// connection at all while online play is off; the replay's keys.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <fstream>
#include <string>

#include "platform/qt/tests/online_support.h"
#include "platform/qt/tests/test_support.h"
#include "replay/recorder.h"

using namespace tavro_qt_test;

namespace {

// The server's entries of a period.
QJsonArray Ranking(const BoardServer& board, const char* period) {
  std::string body;
  const int status =
      HttpGet(board.url() + QStringLiteral("/api/v1/ranking?period=") + period, &body);
  EXPECT_EQ(status, 200) << body;
  return QJsonDocument::fromJson(QByteArray::fromStdString(body))
      .object()[QStringLiteral("entries")]
      .toArray();
}

int Outbox(const QString& home) {
  return static_cast<int>(QDir(ReplaysFolderIn(home) + QStringLiteral("/outbox"))
                              .entryList({QStringLiteral("*.tavroreplay")}, QDir::Files)
                              .size());
}

class OnlineTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(home.isValid()); }
  QTemporaryDir home{QDir::tempPath() + QStringLiteral("/tavro-online-test-XXXXXX")};
};

TEST_F(OnlineTest, ARankedGameIsSentShownInTheDialogAndPlaysBackFromTheServer) {
  BoardServer board;
  ASSERT_TRUE(board.Start()) << board.error();
  WriteOnlineSettings(home.path(),
                      "Enabled=1\nServer=" + board.url().toStdString() + "\nAutoSend=1\n");
  const QString args = home.filePath(QStringLiteral("watch-args"));
  const ChildRun play = RunChild("ranked-online", home.path(),
                                 {{QStringLiteral("TAVRO_TEST_NAME"), QStringLiteral("Online")},
                                  {QStringLiteral("TAVRO_TEST_WATCH_ARGS"), args}});
  ASSERT_EQ(play.code, 0) << play.err << "\nserver:\n" << board.log();
  EXPECT_EQ(Outbox(home.path()), 0);

  // The server ranks the game, and gives its replay back.
  const QJsonArray all = Ranking(board, "all");
  ASSERT_EQ(all.size(), 1);
  const QJsonObject entry = all[0].toObject();
  EXPECT_EQ(entry[QStringLiteral("name")].toString(), QStringLiteral("Online"));
  EXPECT_EQ(std::to_string(entry[QStringLiteral("score")].toInt()), play.Value("score"));
  const QString id = entry[QStringLiteral("replay")].toString();
  const QString game = QString::number(entry[QStringLiteral("game")].toInt());
  std::string replay;
  ASSERT_EQ(HttpGet(board.url() + QStringLiteral("/api/v1/replays/") + id, &replay), 200);
  ASSERT_EQ(Ranking(board, "week").size(), 1);

  // The dialog's watch fetched the same file and opened it in a second copy.
  const QString shared = ReplaysFolderIn(home.path()) + QStringLiteral("/shared/") + id +
                         QStringLiteral(".tavroreplay");
  EXPECT_EQ(ReadAll(args.toStdString()),
            "--replay\n" + shared.toStdString() + "\n--from-game\n" + game.toStdString() + "\n");
  EXPECT_EQ(ReadAll(shared.toStdString()), replay);

  // Played back in the program to its end, it shows the runner's picture.
  const QString png = home.filePath(QStringLiteral("runner.png"));
  int status = 0;
  RunSim({QStringLiteral("--script"), shared, QStringLiteral("--png"), png}, &status);
  ASSERT_EQ(status, 0);
  const ChildRun watch = RunChild("watch", home.path(),
                                  {{QStringLiteral("TAVRO_TEST_REPLAY"), shared},
                                   {QStringLiteral("TAVRO_TEST_FROM"), game},
                                   {QStringLiteral("TAVRO_TEST_PNG"), png}});
  EXPECT_EQ(watch.code, 0) << watch.err;
}

TEST_F(OnlineTest, AReplayWaitsInTheOutboxWhileTheServerIsAwayAndGoesAtTheNextStart) {
  const int port = ClosedPort();
  ASSERT_NE(port, 0);
  WriteOnlineSettings(
      home.path(), "Enabled=1\nServer=http://127.0.0.1:" + std::to_string(port) + "\nAutoSend=1\n");
  const ChildRun away = RunChild("ranked-offline", home.path(),
                                 {{QStringLiteral("TAVRO_TEST_NAME"), QStringLiteral("Offline")}});
  ASSERT_EQ(away.code, 0) << away.err;
  ASSERT_EQ(Outbox(home.path()), 1);

  // A file the server refuses waits before it: its answer (422, with the
  // reason) is told, and it is dropped.
  QFile refused(ReplaysFolderIn(home.path()) + QStringLiteral("/outbox/0-refused.tavroreplay"));
  ASSERT_TRUE(refused.open(QIODevice::WriteOnly));
  refused.write("hello\n");
  refused.close();

  BoardServer board;
  ASSERT_TRUE(board.Start(port)) << board.error();
  EXPECT_EQ(Ranking(board, "all").size(), 0);
  const ChildRun next = RunChild("send-waiting", home.path());
  ASSERT_EQ(next.code, 0) << next.err << "\nserver:\n" << board.log();
  EXPECT_NE(next.out.find("status ネットランキングに登録されませんでした: not a replay\n"),
            std::string::npos)
      << next.out;
  const QJsonArray all = Ranking(board, "all");
  ASSERT_EQ(all.size(), 1);
  EXPECT_EQ(all[0].toObject()[QStringLiteral("name")].toString(), QStringLiteral("Offline"));
  EXPECT_EQ(std::to_string(all[0].toObject()[QStringLiteral("score")].toInt()),
            away.Value("score"));
  EXPECT_EQ(Outbox(home.path()), 0);
}

TEST_F(OnlineTest, WithOnlinePlayOffNothingConnects) {
  ConnectionCounter counter;
  ASSERT_NE(counter.port(), 0);
  WriteOnlineSettings(home.path(), "Enabled=0\nServer=127.0.0.1:" + std::to_string(counter.port()) +
                                       "\nAutoSend=0\n");
  const ChildRun run =
      RunChild("ranked-quiet", home.path(),
               {{QStringLiteral("TAVRO_TEST_PORT"), QString::number(counter.port())}});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(counter.Count(), 0);
  // The listener does count a connection.
  QTcpSocket socket;
  socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(counter.port()));
  ASSERT_TRUE(socket.waitForConnected(10000));
  EXPECT_EQ(counter.Count(), 1);
}

TEST_F(OnlineTest, ReplayKeysPauseStepSpeedUpAndJumpToTheNextGame) {
  const std::string path = home.filePath(QStringLiteral("keys.tavroreplay")).toStdString();
  std::ofstream(path, std::ios::binary) << kReplayMagic << "\n#@ version " << kReplayVersion
                                        << "\n#@ ini [ENVIRONMENT]\n#@ ini RapidFlag=1\n"
                                           "1 start\n6 click 250 200\n90 move 120 130\n300 stop\n"
                                           "320 start\n330 click 300 260\n400 exit\n";
  const ChildRun run =
      RunChild("playback-keys", home.path(),
               {{QStringLiteral("TAVRO_TEST_REPLAY"), QString::fromStdString(path)},
                {QStringLiteral("TAVRO_TEST_SECOND"), QStringLiteral("320")}});
  EXPECT_EQ(run.code, 0) << run.err;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER")) qputenv("SDL_AUDIODRIVER", "dummy");
  const QString scenario = ChildScenario();
  if (!scenario.isEmpty()) {
    QApplication app(argc, argv);
    return RunChildScenario(scenario);
  }
  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
