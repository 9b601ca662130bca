// The shared ranking's client against the headless host's fake network and
// a real folder: what is asked and when, what is kept until the server has
// answered, and what the player is told.
#include "online/shared_ranking.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "game/tests/fresh_world.h"
#include "online/json_reader.h"
#include "platform/headless/headless_network.h"
#include "records/settings.h"

namespace fs = std::filesystem;

namespace {

const std::string kId(64, 'a');
const char kServer[] = "http://127.0.0.1:9";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string AcceptedAnswer(int game, int score) {
  return R"({"id":")" + kId + R"(","accepted":1,"games":[{"game":)" + std::to_string(game) +
         R"(,"accepted":true,"score":)" + std::to_string(score) + R"(,"level":0,"name":"A"}]})";
}

std::string RankingAnswer(int place, int game) {
  return R"({"period":"all","entries":[{"place":)" + std::to_string(place) +
         R"(,"score":500,"level":2,"name":"Ann","replay":")" + kId + R"(","game":)" +
         std::to_string(game) + "}]}";
}

class SharedRankingTest : public FreshWorld {
 protected:
  void SetUp() override {
    FreshWorld::SetUp();
    HeadlessResetNetwork();
    HeadlessNetworkState().available = true;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = fs::temp_directory_path() /
            ("tavro-online-" + std::to_string(::getpid()) + "-" + info->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "replays");
    SetSettingsFilePath((root_ / "TAVRO.INI").string());
  }
  void TearDown() override {
    OnlineReset();
    SetSettingsFilePath("");
    fs::remove_all(root_);
  }

  void WriteSettings(const std::string& online) {
    std::ofstream(root_ / "TAVRO.INI", std::ios::binary) << "[Online]\n" << online;
  }
  void StartOnline(bool autoSend) {
    WriteSettings(std::string("Enabled=1\nServer=") + kServer +
                  "\nAutoSend=" + (autoSend ? "1" : "0") + "\n");
    OnlineStart((root_ / "replays").string());
  }
  static std::vector<HttpRequest>& Started() { return HeadlessNetworkState().started; }
  static const HttpRequest& Last() { return Started().back(); }
  fs::path Outbox(const std::string& name) const { return root_ / "replays" / "outbox" / name; }

  fs::path root_;
};

// Nothing leaves the machine until the player turns online play on: no
// request at start, after a ranked game, or from the dialog's buttons.
TEST_F(SharedRankingTest, OffMeansNoRequestAtAll) {
  for (const std::string& online : {std::string(""), std::string("Enabled=0\nServer=") + kServer,
                                    std::string("Enabled=1\nServer=\n")}) {
    SCOPED_TRACE(online);
    WriteSettings(online);
    OnlineStart((root_ / "replays").string());
    OnlineGameRanked("#@ tavro-replay 1\n", "a.tavroreplay", 1);
    OnlineRefresh();
    OnlineWatch(SharedPeriod::All, 0);
    EXPECT_TRUE(Started().empty());
    EXPECT_EQ(HeadlessCounters().confirmBoxes, 0);
    EXPECT_FALSE(fs::exists(Outbox("a.tavroreplay")));
    EXPECT_EQ(SharedRankingView().tables[2].state, FetchState::Off);
  }
}

// A ranked game's replay is kept until the server has given a definite
// answer; the player hears the outcome and the game's place in the shared
// ranking.
TEST_F(SharedRankingTest, ARankedGameIsSentKeptUntilAnsweredAndItsPlaceTold) {
  struct Case {
    const char* name;
    int status;
    std::string body;
    bool kept;
    const char* told;
  } cases[] = {
      {"accepted", 200, AcceptedAnswer(2, 500), false, "ネットランキングに登録されました"},
      {"rejected", 422,
       R"({"id":"x","accepted":0,"games":[{"game":2,"accepted":false,"reason":"already counted"}]})",
       false, "登録されませんでした: already counted"},
      {"refused whole", 422, R"({"id":"x","accepted":0,"reason":"wrong version","games":[]})",
       false, "登録されませんでした: wrong version"},
      {"unreachable", 0, "", true, "接続できません"},
      {"busy", 503, R"({"reason":"busy"})", true, "応答できません (503)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HeadlessResetNetwork();
    HeadlessNetworkState().available = true;
    StartOnline(true);
    ASSERT_EQ(Started().size(), 3u);  // the three rankings
    for (int i = 0; i < 3; ++i) OnlineHandleAnswer(Started()[i].id, 200, RankingAnswer(1, 1));
    OnlineGameRanked("#@ tavro-replay 1\nreplay\n", "s.tavroreplay", 2);
    ASSERT_EQ(Started().size(), 4u);
    EXPECT_STREQ(Last().method, "POST");
    EXPECT_EQ(Last().url, std::string(kServer) + "/api/v1/replays");
    EXPECT_EQ(Last().body, "#@ tavro-replay 1\nreplay\n");
    EXPECT_EQ(ReadFile(Outbox("s.tavroreplay")), Last().body);
    EXPECT_EQ(SharedRankingView().waiting, 1);
    EXPECT_TRUE(OnlineHandleAnswer(Last().id, c.status, c.body));
    EXPECT_EQ(fs::exists(Outbox("s.tavroreplay")), c.kept);
    EXPECT_NE(HeadlessNetworkState().status.find(c.told), std::string::npos)
        << HeadlessNetworkState().status;
    EXPECT_EQ(SharedRankingView().status, HeadlessNetworkState().status);
    EXPECT_EQ(SharedRankingView().waiting, 0);
    if (c.status == 200) {
      // the place is looked up in the all-time ranking, and the tables asked anew
      const HttpRequest lookup = Started()[4];
      EXPECT_EQ(lookup.url, std::string(kServer) + "/api/v1/ranking?period=all&limit=100");
      OnlineHandleAnswer(lookup.id, 200, RankingAnswer(3, 2));
      EXPECT_NE(HeadlessNetworkState().status.find("全期間 3位"), std::string::npos);
      EXPECT_EQ(Started().size(), 8u);
    }
    OnlineReset();
    fs::remove_all(root_ / "replays" / "outbox");
  }
}

// Asked first unless the standing choice says to send: a "no" keeps and
// sends nothing.
TEST_F(SharedRankingTest, ThePlayerIsAskedUnlessTheyChoseToAlwaysSend) {
  for (const bool answer : {false, true}) {
    HeadlessResetHost();
    HeadlessResetNetwork();
    HeadlessNetworkState().available = true;
    HeadlessSetConfirmAnswer(answer);
    StartOnline(false);
    OnlineGameRanked("#@ tavro-replay 1\n", "q.tavroreplay", 1);
    EXPECT_EQ(HeadlessCounters().confirmBoxes, 1);
    EXPECT_EQ(Started().size(), answer ? 4u : 3u);
    EXPECT_EQ(fs::exists(Outbox("q.tavroreplay")), answer);
    OnlineReset();
  }
}

// A replay that could not be sent is sent at the next start, oldest first;
// a newer record of the session sent meanwhile is not lost when the older
// one's answer comes, and the session's renamed record replaces its older
// name.
TEST_F(SharedRankingTest, WaitingReplaysAreSentAtTheNextStartAndNeverLost) {
  StartOnline(true);
  OnlineGameRanked("game 1\n", "20260101-000000-best-5.tavroreplay", 1);
  OnlineHandleAnswer(Last().id, 0, "");
  ASSERT_TRUE(fs::exists(Outbox("20260101-000000-best-5.tavroreplay")));
  // a new best renames the session's record: the older name goes
  OnlineGameRanked("game 1\ngame 2\n", "20260101-000000-best-9.tavroreplay", 2);
  EXPECT_FALSE(fs::exists(Outbox("20260101-000000-best-5.tavroreplay")));
  const int inFlight = Last().id;
  // another game while that one is on its way: the file is replaced
  OnlineGameRanked("game 1\ngame 2\ngame 3\n", "20260101-000000-best-9.tavroreplay", 3);
  EXPECT_EQ(Last().id, inFlight);  // one upload at a time
  OnlineHandleAnswer(inFlight, 200, AcceptedAnswer(2, 9));
  EXPECT_EQ(ReadFile(Outbox("20260101-000000-best-9.tavroreplay")), "game 1\ngame 2\ngame 3\n");
  EXPECT_EQ(Last().body, "game 1\ngame 2\ngame 3\n");
  OnlineHandleAnswer(Last().id, 0, "");

  // the next start sends what waits, oldest first, and ignores what is not a replay
  std::ofstream(Outbox("20250101-000000-best-1.tavroreplay"), std::ios::binary) << "older\n";
  std::ofstream(Outbox("notes.txt"), std::ios::binary) << "not mine\n";
  OnlineReset();
  HeadlessResetNetwork();
  HeadlessNetworkState().available = true;
  StartOnline(true);
  ASSERT_EQ(Started().size(), 4u);
  EXPECT_EQ(Started()[0].body, "older\n");
  OnlineHandleAnswer(Started()[0].id, 200, AcceptedAnswer(1, 1));
  EXPECT_FALSE(fs::exists(Outbox("20250101-000000-best-1.tavroreplay")));
  EXPECT_EQ(Last().body, "game 1\ngame 2\ngame 3\n");
  OnlineHandleAnswer(Last().id, 422, R"({"reason":"not a replay","games":[]})");
  EXPECT_FALSE(fs::exists(Outbox("20260101-000000-best-9.tavroreplay")));
  EXPECT_TRUE(fs::exists(Outbox("notes.txt")));
}

// The tables show what the server answered, or plainly that it could not be
// reached; a row's replay id is used only when it is one.
TEST_F(SharedRankingTest, TablesShowTheAnswerOrWhyNot) {
  struct Case {
    const char* name;
    int status;
    std::string body;
    FetchState state;
    int rows;
  } cases[] = {
      {"rows", 200, RankingAnswer(1, 4), FetchState::Loaded, 1},
      {"empty", 200, R"({"entries":[]})", FetchState::Loaded, 0},
      {"unreachable", 0, "", FetchState::Unreachable, 0},
      {"error", 500, R"({"reason":"internal error"})", FetchState::Failed, 0},
      {"not json", 200, "<html>", FetchState::Failed, 0},
      {"no entries", 200, R"({"period":"all"})", FetchState::Failed, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HeadlessResetNetwork();
    HeadlessNetworkState().available = true;
    StartOnline(true);
    EXPECT_EQ(Started()[0].url, std::string(kServer) + "/api/v1/ranking?period=week&limit=10");
    EXPECT_EQ(SharedRankingView().tables[0].state, FetchState::Loading);
    OnlineHandleAnswer(Started()[0].id, c.status, c.body);
    const SharedRankingTable& week = SharedRankingView().tables[0];
    EXPECT_EQ(week.state, c.state);
    EXPECT_EQ(week.count, c.rows);
    EXPECT_EQ(std::string(SharedTableStateText(week)).empty(), c.rows > 0);
    if (c.rows > 0) {
      EXPECT_EQ(week.rows[0].name, "Ann");
      EXPECT_EQ(week.rows[0].score, 500);
      EXPECT_EQ(week.rows[0].game, 4);
    }
    OnlineReset();
  }
  // a hostile id never becomes a path
  HeadlessResetNetwork();
  HeadlessNetworkState().available = true;
  StartOnline(true);
  OnlineHandleAnswer(Started()[2].id, 200,
                     R"({"entries":[{"place":1,"score":5,"replay":"../../x","game":1}]})");
  OnlineWatch(SharedPeriod::All, 0);
  EXPECT_EQ(Started().size(), 3u);
}

// A row's game is fetched, kept in the shared folder and opened for
// watching from its game.
TEST_F(SharedRankingTest, WatchingARowFetchesItsReplayAndOpensIt) {
  StartOnline(true);
  OnlineHandleAnswer(Started()[2].id, 200, RankingAnswer(1, 3));
  OnlineWatch(SharedPeriod::All, 0);
  EXPECT_EQ(Last().url, std::string(kServer) + "/api/v1/replays/" + kId);
  EXPECT_TRUE(SharedRankingView().watching);
  OnlineHandleAnswer(Last().id, 200, "#@ tavro-replay 1\n");
  const fs::path kept = root_ / "replays" / "shared" / (kId + ".tavroreplay");
  EXPECT_EQ(ReadFile(kept), "#@ tavro-replay 1\n");
  ASSERT_EQ(HeadlessNetworkState().watched.size(), 1u);
  EXPECT_EQ(HeadlessNetworkState().watched[0].first, kept.string());
  EXPECT_EQ(HeadlessNetworkState().watched[0].second, 3);
  EXPECT_FALSE(SharedRankingView().watching);
}

// The dialog's choices are kept in their own section of the settings file,
// beside what is there, and read back at the next start.
TEST_F(SharedRankingTest, ChoicesAreSavedInTheirOwnSection) {
  std::ofstream(root_ / "TAVRO.INI", std::ios::binary) << "[Other]\nKey=1\n";
  OnlineStart((root_ / "replays").string());
  OnlineApplySettings({true, " 127.0.0.1:9/ ", false});
  const std::string text = ReadFile(root_ / "TAVRO.INI");
  EXPECT_NE(text.find("[Other]\nKey=1"), std::string::npos);
  const OnlineSettings read = ReadOnlineSettings(text);
  EXPECT_TRUE(read.enabled);
  EXPECT_EQ(read.server, kServer);
  EXPECT_FALSE(read.autoSend);
  EXPECT_EQ(Started().size(), 3u);  // turned on: the rankings are asked for
  OnlineApplySettings({false, kServer, false});
  EXPECT_EQ(SharedRankingView().tables[1].state, FetchState::Off);
  EXPECT_FALSE(ReadOnlineSettings(ReadFile(root_ / "TAVRO.INI")).enabled);
}

TEST(ServerAddress, IsMadeUsableOrRefused) {
  struct Case {
    const char* typed;
    const char* usable;
  } cases[] = {
      {"127.0.0.1:8080", "http://127.0.0.1:8080"},
      {"  https://tavro.example.org/ ", "https://tavro.example.org"},
      {"http://host:1/base//", "http://host:1/base"},
      {"", ""},
      {"ftp://host", ""},
      {"http://", ""},
      {"http://:80", ""},
      {"http://a b", ""},
      {"http://host/?q", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(NormalizeServerAddress(c.typed), c.usable) << c.typed;
}

TEST(JsonReader, ReadsJsonAndRefusesWhatIsNot) {
  JsonValue value;
  ASSERT_TRUE(
      ReadJson(R"( {"a":[1,-2.5e1,true,false,null],"b":"x\u00e9\ud83d\ude00\n"} )", &value));
  EXPECT_EQ(value["a"].items.size(), 5u);
  EXPECT_EQ(value["a"].items[1].Int(), -25);
  EXPECT_TRUE(value["a"].items[2].boolean);
  EXPECT_FALSE(value["a"].items[3].boolean);
  EXPECT_EQ(value["b"].text, "x\xC3\xA9\xF0\x9F\x98\x80\n");
  EXPECT_EQ(value["missing"]["deeper"].Int(), 0);
  for (const char* bad :
       {"", "{", "[1,]", "{\"a\" 1}", "\"\\ud83d\"", "01x", "[1] 2", "tru", "\"a\nb\"", "1e999"}) {
    EXPECT_FALSE(ReadJson(bad, &value)) << bad;
  }
  EXPECT_FALSE(ReadJson(std::string(40, '[') + std::string(40, ']'), &value));
}

}  // namespace
