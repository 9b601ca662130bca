// Several tavro-board processes on one PostgreSQL database (made by
// postgres_test.sh, which gives its address in TAVRO_BOARD_DATABASE): the
// same replay, or the same game in two files, given to two servers at once
// is kept once; many submissions spread over both are all kept; nothing
// rejected is kept. The store's own rules, as on SQLite.
#include <signal.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <pqxx/pqxx>
#include <thread>

#include "board/submission.h"
#include "board/tests/harness.h"
#include "board/tests/store_rules.h"

namespace board_test {
namespace {

std::string Database() {
  const char* url = std::getenv("TAVRO_BOARD_DATABASE");
  return url != nullptr ? url : "";
}

long long Count(const std::string& sql) {
  pqxx::connection connection(Database());
  pqxx::nontransaction query(connection);
  return query.exec(sql)[0][0].as<long long>();
}

int Started(const fs::path& folder) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    count += entry.path().filename().string().rfind("gate.started.", 0) == 0 ? 1 : 0;
  }
  return count;
}

class TwoServersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Database().empty()) << "run by postgres_test.sh";
    folder_ = FreshFolder("postgres");
    fs::create_directories(folder_ / "one");
    fs::create_directories(folder_ / "two");
  }
  void TearDown() override { fs::remove_all(folder_); }

  // Both servers hold their verifications at the gate until both have one.
  std::vector<std::string> Options() const {
    return {"--database", Database(), "--workers", "2", "--rate", "0", "--sim", TAVRO_GATE_SIM};
  }
  std::map<std::string, std::string> Gate(const std::string& name) const {
    return {{"TAVRO_TEST_GATE", (folder_ / name).string()}, {"TAVRO_TEST_SIM", TAVRO_SIM_PATH}};
  }
  // Posts each body to its server at once, releasing the verifications
  // together; the answers.
  std::vector<Answer> AtOnce(const std::vector<std::pair<const BoardProcess*, std::string>>& posts,
                             const std::string& gate) {
    std::vector<Answer> answers(posts.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < posts.size(); ++i) {
      threads.emplace_back([&, i] { answers[i] = Post(*posts[i].first, posts[i].second); });
    }
    const int before = Started(folder_);
    (void)before;
    EXPECT_TRUE(WaitFor([&] { return Started(folder_) >= static_cast<int>(posts.size()); }));
    WriteText(folder_ / gate, "");
    for (std::thread& thread : threads) thread.join();
    for (const auto& entry : fs::directory_iterator(folder_)) {
      if (entry.path().filename().string().rfind("gate.started.", 0) == 0) fs::remove(entry.path());
    }
    fs::remove(folder_ / gate);
    return answers;
  }

  fs::path folder_;
};

TEST_F(TwoServersTest, SameReplayOrSameGameAtOnceIsKeptOnce) {
  BoardProcess one(folder_ / "one", Options(), Gate("gate"));
  BoardProcess two(folder_ / "two", Options(), Gate("gate"));
  ASSERT_TRUE(one.Started()) << one.Log();
  ASSERT_TRUE(two.Started()) << two.Log();
  EXPECT_EQ(Count("SELECT count(*) FROM schema_migrations"), 2);
  EXPECT_EQ(Get(one, "/healthz").body["storage"], "postgresql");

  // the same file to both servers
  const std::string replay = Honest(ReplayHead() + GameScript(0, "Twice"));
  std::vector<Answer> answers = AtOnce({{&one, replay}, {&two, replay}}, "gate");
  EXPECT_EQ(answers[0].status, 200) << answers[0].raw;
  EXPECT_EQ(answers[1].status, 200) << answers[1].raw;
  EXPECT_EQ(answers[0].raw, answers[1].raw);
  EXPECT_EQ(answers[0].body["accepted"], 1);
  EXPECT_EQ(Count("SELECT count(*) FROM replays"), 1);
  EXPECT_EQ(Count("SELECT count(*) FROM scores"), 1);

  // one game in two files, to both servers: one is counted, the other
  // names it already counted
  std::string other = Honest(ReplayHead() + GameScript(1, "Mine"));
  std::string same = other;
  same.replace(same.find("name Mine"), 9, "name Ours");
  answers = AtOnce({{&one, other}, {&two, same}}, "gate");
  ASSERT_EQ(answers[0].body["games"].size(), 1u);
  ASSERT_EQ(answers[1].body["games"].size(), 1u);
  const int accepted =
      answers[0].body["accepted"].get<int>() + answers[1].body["accepted"].get<int>();
  EXPECT_EQ(accepted, 1) << answers[0].raw << answers[1].raw;
  const Answer& loser = answers[0].body["accepted"] == 0 ? answers[0] : answers[1];
  EXPECT_EQ(loser.status, 422);
  EXPECT_EQ(loser.body["games"][0]["reason"], "already counted");
  EXPECT_EQ(Count("SELECT count(*) FROM replays"), 2);
  EXPECT_EQ(Count("SELECT count(*) FROM scores"), 2);

  // different games spread over both: all kept, and both rank them alike
  std::vector<std::pair<const BoardProcess*, std::string>> posts;
  for (int variant = 2; variant < 6; ++variant) {
    posts.push_back({variant % 2 == 0 ? &one : &two,
                     Honest(ReplayHead() + GameScript(variant, "P" + std::to_string(variant)))});
  }
  answers = AtOnce(posts, "gate");
  for (const Answer& answer : answers) EXPECT_EQ(answer.status, 200) << answer.raw;
  EXPECT_EQ(Count("SELECT count(*) FROM scores"), 6);
  const Answer fromOne = Get(one, "/api/v1/ranking?limit=100");
  const Answer fromTwo = Get(two, "/api/v1/ranking?limit=100");
  EXPECT_EQ(fromOne.body["entries"].size(), 6u);
  EXPECT_EQ(fromOne.raw, fromTwo.raw);
  int previous = INT32_MAX;
  for (const Json& entry : fromOne.body["entries"]) {
    EXPECT_LE(entry["score"].get<int>(), previous);
    previous = entry["score"].get<int>();
  }
  // what is stored is served by either
  const std::string id = ContentHash(replay);
  EXPECT_EQ(two.Client()->Get(("/api/v1/replays/" + id).c_str())->body, RedactReplay(replay));

  // a rejected file leaves nothing
  std::string edited = replay;
  edited.insert(edited.find("#@ game 1 score ") + 16, "9");
  answers = AtOnce({{&one, edited}, {&two, edited}}, "gate");
  EXPECT_EQ(answers[0].status, 422);
  EXPECT_EQ(answers[0].raw, answers[1].raw);
  EXPECT_EQ(Count("SELECT count(*) FROM replays"), 6);

  EXPECT_EQ(one.Signal(SIGTERM), 0);
  EXPECT_EQ(two.Signal(SIGTERM), 0);
  // a restart finds the schema as it is
  BoardProcess again(folder_ / "one", {"--database", Database(), "--rate", "0"});
  ASSERT_TRUE(again.Started()) << again.Log();
  EXPECT_EQ(Count("SELECT count(*) FROM schema_migrations"), 2);
  EXPECT_EQ(Get(again, "/api/v1/ranking?limit=100").body["entries"].size(), 6u);
}

TEST(PostgresStoreTest, KeepsTheStoreRules) {
  const char* url = std::getenv("TAVRO_BOARD_RULES_DATABASE");
  ASSERT_NE(url, nullptr) << "run by postgres_test.sh";
  {
    std::unique_ptr<Store> store = OpenPostgresStore(url, 2);
    EXPECT_STREQ(store->Kind(), "postgresql");
    ExpectStoreRules(*store);
  }
  EXPECT_EQ(OpenPostgresStore(url, 1)->Ranking(0, 100).size(), 4u);
  EXPECT_THROW(OpenPostgresStore("postgresql://board@127.0.0.1:1/none", 1), StoreError);
}

}  // namespace
}  // namespace board_test
