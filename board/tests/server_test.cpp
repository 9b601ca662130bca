// tavro-board itself on a real SQLite file, driven over HTTP on localhost
// with replays the runner recorded and copies of them tampered with.
#include <signal.h>
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <thread>

#include "board/store.h"
#include "board/submission.h"
#include "board/tests/harness.h"
#include "board/tests/store_rules.h"

namespace board_test {
namespace {

// A number read from the SQLite file by a connection of the test's own.
long long Count(const fs::path& database, const std::string& sql) {
  sqlite3* db = nullptr;
  long long value = -1;
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      value = sqlite3_column_int64(statement, 0);
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return value;
}

std::string Text(const fs::path& database, const std::string& sql) {
  sqlite3* db = nullptr;
  std::string value;
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      value = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return value;
}

void Exec(const fs::path& database, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
  sqlite3_busy_timeout(db, 10000);
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
  sqlite3_close(db);
}

class BoardServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = FreshFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override { fs::remove_all(folder_); }
  fs::path Database() const { return folder_ / "data" / "board.sqlite"; }

  fs::path folder_;
};

TEST_F(BoardServerTest, HonestReplayIsAcceptedRankedAndServed) {
  fs::create_directories(folder_ / "site");
  WriteText(folder_ / "site" / "index.html", "<!doctype html><title>TAVRO</title>\n");
  BoardProcess board(folder_,
                     {"--workers", "2", "--rate", "0", "--site", (folder_ / "site").string()});
  ASSERT_TRUE(board.Started()) << board.Log();

  const std::string alice = Honest(ReplayHead(FullRanking(100)) + GameScript(0, "  Alice "));
  const Answer first = Post(board, alice);
  ASSERT_EQ(first.status, 200) << first.raw;
  const std::string id = ContentHash(alice);
  EXPECT_EQ(first.body["id"], id);
  EXPECT_EQ(first.body["accepted"], 1);
  ASSERT_EQ(first.body["games"].size(), 1u);
  const Json& game = first.body["games"][0];
  EXPECT_EQ(game["accepted"], true);
  EXPECT_EQ(game["name"], "Alice");
  EXPECT_EQ(game["sessionPlace"], 1);
  const int aliceScore = game["score"].get<int>();
  EXPECT_GT(aliceScore, 100);

  // the same file again: the same answer, nothing new
  const Answer again = Post(board, alice);
  EXPECT_EQ(again.status, 200);
  EXPECT_EQ(again.raw, first.raw);
  EXPECT_EQ(Count(Database(), "SELECT count(*) FROM replays"), 1);
  EXPECT_EQ(Count(Database(), "SELECT count(*) FROM scores"), 1);
  // the same game in another file (a comment, another name): counted once
  std::string copy = alice;
  copy.insert(copy.find("0 start"), "# sent again\n");
  copy.replace(copy.find("name   Alice "), 13, "name Alice II");
  const Answer copied = Post(board, copy);
  EXPECT_EQ(copied.status, 422) << copied.raw;
  EXPECT_EQ(copied.body["games"][0]["reason"], "already counted");
  EXPECT_EQ(Count(Database(), "SELECT count(*) FROM replays"), 1);

  const std::string bob = Honest(ReplayHead() + GameScript(3, "Bob"));
  const Answer second = Post(board, bob);
  ASSERT_EQ(second.status, 200) << second.raw;
  const int bobScore = second.body["games"][0]["score"].get<int>();
  ASSERT_NE(bobScore, aliceScore);

  Answer ranking = Get(board, "/api/v1/ranking");
  ASSERT_EQ(ranking.status, 200);
  // the interface may be used by a page served elsewhere
  EXPECT_EQ(ranking.allowOrigin, "*");
  EXPECT_EQ(first.allowOrigin, "*");
  EXPECT_EQ(ranking.body["period"], "all");
  EXPECT_EQ(ranking.body["limit"], 10);
  ASSERT_EQ(ranking.body["entries"].size(), 2u);
  const Json& top = ranking.body["entries"][0];
  const Json& next = ranking.body["entries"][1];
  EXPECT_EQ(top["place"], 1);
  EXPECT_EQ(top["score"], std::max(aliceScore, bobScore));
  EXPECT_EQ(next["score"], std::min(aliceScore, bobScore));
  EXPECT_EQ((bobScore > aliceScore ? next : top)["name"], "Alice");
  EXPECT_EQ((bobScore > aliceScore ? next : top)["replay"], id);
  EXPECT_EQ(top["game"], 1);
  EXPECT_EQ(Get(board, "/api/v1/ranking?limit=1").body["entries"].size(), 1u);
  EXPECT_EQ(Get(board, "/api/v1/ranking?limit=1000").body["limit"], 100);
  EXPECT_EQ(Get(board, "/api/v1/ranking?period=week").body["entries"].size(), 2u);
  for (const char* bad : {"?limit=0", "?limit=-3", "?limit=ten", "?period=year"}) {
    EXPECT_EQ(Get(board, std::string("/api/v1/ranking") + bad).status, 400) << bad;
  }
  // a game accepted 40 days ago is in the whole ranking only; one 10 days
  // ago in the month's too
  Exec(Database(),
       "UPDATE scores SET accepted_at = accepted_at - 40 * 86400000000 WHERE name = 'Alice'");
  EXPECT_EQ(Get(board, "/api/v1/ranking?period=month").body["entries"].size(), 1u);
  EXPECT_EQ(Get(board, "/api/v1/ranking?period=all").body["entries"].size(), 2u);
  Exec(Database(),
       "UPDATE scores SET accepted_at = accepted_at + 30 * 86400000000 WHERE name = 'Alice'");
  EXPECT_EQ(Get(board, "/api/v1/ranking?period=month").body["entries"].size(), 2u);
  EXPECT_EQ(Get(board, "/api/v1/ranking?period=week").body["entries"].size(), 1u);

  // the replay as published: the other players' names hidden, and it
  // still verifies
  auto client = board.Client();
  httplib::Result served = client->Get(("/api/v1/replays/" + id).c_str());
  ASSERT_TRUE(served);
  EXPECT_EQ(served->status, 200);
  EXPECT_EQ(served->body, RedactReplay(alice));
  EXPECT_EQ(served->body.find("Rival"), std::string::npos);
  EXPECT_NE(served->body.find("name   Alice "), std::string::npos);
  EXPECT_EQ(RunProgram({TAVRO_SIM_PATH, "--verify", "-"}, served->body).status, 0);
  EXPECT_EQ(Get(board, "/api/v1/replays/" + std::string(64, '0')).status, 404);
  EXPECT_EQ(Get(board, "/api/v1/replays/..%2f..%2fetc%2fpasswd").status, 404);

  // with the player's agreement the file is kept as sent
  const std::string carol = Honest(ReplayHead(FullRanking(200)) + GameScript(2, "Carol"));
  ASSERT_EQ(Post(board, carol, "?publish=full").status, 200);
  served = client->Get(("/api/v1/replays/" + ContentHash(carol)).c_str());
  ASSERT_TRUE(served);
  EXPECT_EQ(served->body, carol);

  const Answer health = Get(board, "/healthz");
  EXPECT_EQ(health.status, 200);
  EXPECT_EQ(health.body["status"], "ok");
  EXPECT_EQ(health.body["storage"], "sqlite");
  served = client->Get("/");
  ASSERT_TRUE(served);
  EXPECT_EQ(served->body, "<!doctype html><title>TAVRO</title>\n");

  // one log line a request, and an orderly end
  EXPECT_EQ(board.Signal(SIGTERM), 0);
  const std::string log = board.Log();
  EXPECT_NE(log.find("\"POST /api/v1/replays\" 200 "), std::string::npos) << log;
  EXPECT_NE(log.find("\"GET /healthz\" 200 "), std::string::npos) << log;
  EXPECT_NE(log.find(" verify-cpu="), std::string::npos) << log;

  // the migrations ran once; a restart keeps everything
  EXPECT_EQ(Count(Database(), "SELECT count(*) FROM schema_migrations"),
            static_cast<long long>(SchemaMigrations().size()));
  EXPECT_EQ(Text(Database(), "PRAGMA journal_mode"), "wal");
  BoardProcess restarted(folder_, {"--rate", "0"});
  ASSERT_TRUE(restarted.Started()) << restarted.Log();
  EXPECT_EQ(Get(restarted, "/api/v1/ranking").body["entries"].size(), 3u);
  EXPECT_EQ(Post(restarted, alice).raw, first.raw);
}

// A page file packed ahead of time beside it goes to a client that takes
// gzip; text is compressed by the server as it goes, once.
TEST_F(BoardServerTest, SiteFilesPackedAheadGoToClientsThatTakeGzip) {
  const fs::path site = folder_ / "site";
  fs::create_directories(site);
  WriteText(site / "tavro.wasm", std::string(4000, 'w'));
  WriteText(site / "index.html", "<!doctype html>" + std::string(4000, ' ') + "\n");
  ASSERT_EQ(std::system(("gzip -9 -k -n " + (site / "tavro.wasm").string() + " " +
                         (site / "index.html").string())
                            .c_str()),
            0);
  BoardProcess board(folder_, {"--site", site.string()});
  ASSERT_TRUE(board.Started()) << board.Log();
  struct Case {
    const char* path;
    bool takesGzip;
    const char* encoding;
    std::string body;  // what the client gets after undoing the encoding
  } cases[] = {
      {"/tavro.wasm", true, "gzip", std::string(4000, 'w')},
      {"/tavro.wasm", false, "", std::string(4000, 'w')},
      {"/", true, "gzip", "<!doctype html>" + std::string(4000, ' ') + "\n"},
      {"/", false, "", "<!doctype html>" + std::string(4000, ' ') + "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + (c.takesGzip ? " gzip" : " plain"));
    std::unique_ptr<httplib::Client> client = board.Client();
    httplib::Headers headers;
    if (c.takesGzip) headers.emplace("Accept-Encoding", "gzip");
    const httplib::Result result = client->Get(c.path, headers);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(result->get_header_value("Content-Encoding"), c.encoding);
    EXPECT_EQ(result->get_header_value_count("Content-Encoding"), c.takesGzip ? 1u : 0u);
    EXPECT_EQ(result->body, c.body);
  }
}

TEST_F(BoardServerTest, TamperedReplaysAreRejectedWithTheirReasonAndNothingIsStored) {
  BoardProcess board(folder_, {"--workers", "2", "--rate", "0"});
  ASSERT_TRUE(board.Started()) << board.Log();
  const std::string honest = Honest(ReplayHead() + GameScript(1, "Mallory"));
  const std::size_t scoreAt = honest.find("#@ game 1 score ") + 16;
  ASSERT_NE(scoreAt, std::string::npos + 16);

  std::string edited = honest;
  edited.insert(scoreAt, "1");
  std::string moved = honest;
  moved.replace(moved.find("\n40 click"), 9, "\n41 click");
  std::string version = honest;
  version.replace(version.find("#@ version ") + 11, 1, "0");
  // cut inside a shot's line
  const std::size_t cut = honest.find("click", honest.size() / 2) + 3;
  const std::string truncated = honest.substr(0, cut);
  int cutLine = 1;
  for (std::size_t i = 0; i < cut; ++i) cutLine += honest[i] == '\n' ? 1 : 0;
  const std::string unranked = Honest(ReplayHead(FullRanking(900000)) + GameScript(1, "Mallory"));
  std::string tenMillion = ReplayHead() + "0 start\n";
  tenMillion.reserve(tenMillion.size() + 10000000 * 7);
  for (int i = 0; i < 10000000; ++i) tenMillion += "1 dump\n";
  std::string manyEvents = ReplayHead() + "0 start\n";
  while (manyEvents.size() < kMaxSubmissionBytes - 16) manyEvents += "1 dump\n";
  const std::string tooLong = ReplayHead() + "0 start\n400000 move 1 1\n";
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919) & 0xff);
  const std::string hundredMegabytes(100u << 20, '#');

  const struct {
    const char* what;
    const std::string& body;
    bool compress;
    int status;
    std::string reason;  // of the file, or of its first game
  } cases[] = {
      {"score line edited", edited, false, 422, "replay differs at game 1"},
      {"an event moved by one frame", moved, false, 422, "replay differs at game 1"},
      {"another version", version, false, 422, "wrong version"},
      {"truncated", truncated, false, 422, "broken at line " + std::to_string(cutLine)},
      {"not in its session's ranking", unranked, false, 422, "not in the session's ranking"},
      {"10^7 events, compressed", tenMillion, true, 413, "too large"},
      {"more events than a session makes", manyEvents, false, 422, "too many events"},
      {"longer than the server plays", tooLong, false, 422, "too long"},
      {"binary", binary, false, 422, "not text"},
      {"100 MB", hundredMegabytes, false, 413, "too large"},
  };
  for (const auto& c : cases) {
    const Answer answer = Post(board, c.body, "", c.compress);
    SCOPED_TRACE(c.what);
    EXPECT_EQ(answer.status, c.status) << answer.raw;
    ASSERT_TRUE(answer.body.is_object()) << answer.raw;
    const std::string reason = answer.body.contains("games") && !answer.body["games"].empty()
                                   ? answer.body["games"][0]["reason"].get<std::string>()
                                   : answer.body["reason"].get<std::string>();
    EXPECT_EQ(reason, c.reason) << answer.raw;
    EXPECT_EQ(answer.body.value("accepted", 0), 0);
  }
  EXPECT_EQ(Get(board, "/api/v1/ranking").body["entries"], Json::array());
  EXPECT_EQ(Count(Database(), "SELECT count(*) FROM replays"), 0);
  EXPECT_EQ(Count(Database(), "SELECT count(*) FROM scores"), 0);
  // the honest file still goes in
  EXPECT_EQ(Post(board, honest).status, 200);
  EXPECT_EQ(Count(Database(), "SELECT count(*) FROM replays"), 1);
}

// Runs the function on its own thread; the result when joined.
template <typename Result>
class Background {
 public:
  explicit Background(std::function<Result()> work)
      : thread_([this, work = std::move(work)] { result_ = work(); }) {}
  Result Join() {
    thread_.join();
    return result_;
  }

 private:
  Result result_{};
  std::thread thread_;
};

std::map<std::string, std::string> Gate(const fs::path& folder) {
  return {{"TAVRO_TEST_GATE", (folder / "gate").string()}, {"TAVRO_TEST_SIM", TAVRO_SIM_PATH}};
}

int Started(const fs::path& folder) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    count += entry.path().filename().string().rfind("gate.started.", 0) == 0 ? 1 : 0;
  }
  return count;
}

TEST_F(BoardServerTest, FullQueueAnswersBusyWithRetryAfter) {
  BoardProcess board(folder_,
                     {"--workers", "1", "--queue", "1", "--rate", "0", "--sim", TAVRO_GATE_SIM},
                     Gate(folder_));
  ASSERT_TRUE(board.Started()) << board.Log();
  const std::string a = Honest(ReplayHead() + GameScript(0, "A"));
  const std::string b = Honest(ReplayHead() + GameScript(1, "B"));
  const std::string c = Honest(ReplayHead() + GameScript(2, "C"));
  Background<Answer> first([&] { return Post(board, a); });
  ASSERT_TRUE(WaitFor([&] { return Started(folder_) == 1; }));
  Background<Answer> second([&] { return Post(board, b); });
  ASSERT_TRUE(WaitFor([&] { return Get(board, "/healthz").body.value("waiting", 0) == 1; }));
  const Answer busy = Post(board, c);
  EXPECT_EQ(busy.status, 503) << busy.raw;
  EXPECT_EQ(busy.body["reason"], "busy");
  EXPECT_GE(std::atoi(busy.retryAfter.c_str()), 1) << busy.retryAfter;
  WriteText(folder_ / "gate", "");
  EXPECT_EQ(first.Join().status, 200);
  EXPECT_EQ(second.Join().status, 200);
  EXPECT_EQ(Post(board, c).status, 200) << "room again";
}

TEST_F(BoardServerTest, SigtermDuringAVerificationLosesNothingAccepted) {
  const std::string replay = Honest(ReplayHead() + GameScript(2, "Last one"));
  {
    BoardProcess board(folder_, {"--workers", "1", "--rate", "0", "--sim", TAVRO_GATE_SIM},
                       Gate(folder_));
    ASSERT_TRUE(board.Started()) << board.Log();
    Background<Answer> post([&] { return Post(board, replay); });
    ASSERT_TRUE(WaitFor([&] { return Started(folder_) == 1; }));
    ::kill(board.Pid(), SIGTERM);
    ASSERT_TRUE(WaitFor([&] {
      return board.Log().find("stopping after 1 verification") != std::string::npos;
    })) << board.Log();
    WriteText(folder_ / "gate", "");
    const Answer answer = post.Join();
    EXPECT_EQ(answer.status, 200) << answer.raw;
    EXPECT_EQ(answer.body["accepted"], 1);
    EXPECT_EQ(board.Signal(0), 0) << board.Log();  // it ends by itself, in order
    EXPECT_NE(board.Log().find("tavro-board: stopped"), std::string::npos);
  }
  BoardProcess restarted(folder_, {"--rate", "0"});
  ASSERT_TRUE(restarted.Started()) << restarted.Log();
  const Answer ranking = Get(restarted, "/api/v1/ranking");
  ASSERT_EQ(ranking.body["entries"].size(), 1u);
  EXPECT_EQ(ranking.body["entries"][0]["name"], "Last one");
}

TEST_F(BoardServerTest, EachAddressHasARateLimit) {
  BoardProcess board(folder_, {"--rate", "2"});
  ASSERT_TRUE(board.Started()) << board.Log();
  // two a minute: the third of a quick run is turned down (a minute's pause
  // would be needed for ten to pass)
  Answer answer;
  for (int i = 0; i < 10 && answer.status != 429; ++i) answer = Post(board, "not a replay");
  EXPECT_EQ(answer.status, 429);
  EXPECT_GE(std::atoi(answer.retryAfter.c_str()), 1);
  EXPECT_EQ(Get(board, "/api/v1/ranking").status, 200) << "reads are not limited";
}

TEST_F(BoardServerTest, BadCommandLinesAreRefused) {
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"--listen", "8080"},
                                             {"--listen", "127.0.0.1:70000"},
                                             {"--workers", "0"},
                                             {"--database", "mysql://x"},
                                             {"--data", "d", "--database", "postgresql://x"},
                                             {"--sim", (folder_ / "none").string()},
                                             {"--site", (folder_ / "none").string()},
                                             {"--frobnicate", "1"},
                                             {"--rate"}}) {
    std::vector<std::string> argv = {TAVRO_BOARD_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    EXPECT_EQ(RunProgram(argv).status, 2) << arguments[0];
  }
}

}  // namespace
}  // namespace board_test

namespace board_test {
namespace {

TEST(SqliteStoreTest, KeepsTheStoreRulesAndItsSchemaAcrossOpenings) {
  const fs::path folder = FreshFolder("store");
  const std::string path = (folder / "board.sqlite").string();
  {
    std::unique_ptr<Store> store = OpenSqliteStore(path);
    EXPECT_STREQ(store->Kind(), "sqlite");
    ExpectStoreRules(*store);
  }
  std::unique_ptr<Store> reopened = OpenSqliteStore(path);
  EXPECT_EQ(reopened->Ranking(0, 100).size(), 4u);
  EXPECT_EQ(Count(path, "SELECT count(*) FROM schema_migrations"),
            static_cast<long long>(SchemaMigrations().size()));
  reopened.reset();
  // a schema newer than this server's is refused, not touched
  Exec(path, "INSERT INTO schema_migrations VALUES (99, 0)");
  EXPECT_THROW(OpenSqliteStore(path), StoreError);
  EXPECT_THROW(OpenSqliteStore((folder / "none" / "x.sqlite").string()), StoreError);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace board_test
