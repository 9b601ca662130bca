// The server's own checks and verdicts, without a server: the body checks,
// the published copy, the verdict drawn from the runner's report, the rate
// limit and the bounded queue.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <nlohmann/json.hpp>

#include "board/rate_limit.h"
#include "board/submission.h"
#include "board/work_queue.h"
#include "replay/recorder.h"

namespace {

using Json = nlohmann::json;

std::string Head() {
  return std::string(kReplayMagic) + "\n#@ version " + kReplayVersion + "\n#@ ini [ENVIRONMENT]\n";
}

TEST(BoardChecksTest, BodyChecksRefuseWhatNoSessionWrites) {
  const std::string head = Head();
  const struct {
    std::string body;
    std::string reason;  // empty: passes
  } cases[] = {
      {head + "0 start\n", ""},
      {head + "0 name \xe5\xa4\xaa\xe9\x83\x8e\n", ""},
      {std::string(kMaxSubmissionBytes + 1, '#'), "too large"},
      {head + std::string("0 name a\0b\n", 11), "not text"},
      {head + "0 name \xff\n", "not text"},
      {head + "0 name \xc0\xaf\n", "not text"},      // an overlong '/'
      {head + "0 name \xed\xa0\x80\n", "not text"},  // a surrogate
      {head + "0 name \xe5\xa4\n", "not text"},      // cut short
      {"0 start\n", "not a replay"},
      {"", "not a replay"},
      {"#@ tavro-replay 2\n#@ version 9\n", "wrong version"},
      {std::string(kReplayMagic) + "\n#@ ini [ENVIRONMENT]\n", "wrong version"},
      {std::string(kReplayMagic) + "\n#@ version 0.9\n", "wrong version"},
      // the last version line counts, as for the parser
      {head + "#@ version 0.9\n", "wrong version"},
      {std::string(kReplayMagic) + "\n#@ version 0.9\n#@ version " + kReplayVersion + "\n", ""},
  };
  for (const auto& c : cases) {
    const std::optional<Refusal> refusal = CheckSubmittedBody(c.body);
    EXPECT_EQ(refusal.has_value() ? refusal->reason : "", c.reason) << c.body.substr(0, 60);
    if (refusal.has_value()) {
      EXPECT_FALSE(refusal->message.empty());
    }
  }
}

TEST(BoardChecksTest, PublishedCopyHidesOnlyTheOtherPlayersNames) {
  const std::string text = std::string(kReplayMagic) +
                           "\n#@ version 1\n"
                           "#@ ini [ENVIRONMENT]\n"
                           "#@ ini RapidFlag=0\n"
                           "#@ ini Name=Kept in another section\n"
                           "#@ ini [SCORE]\r\n"
                           "#@ ini 1_Values=1 500 0\n"
                           "#@ ini 1_Name=Hanako Yamada\r\n"
                           "#@ ini 2_Values=0 40 0\n"
                           "#@ ini 2_name=jiro\n"
                           "#@ ini 3_Name=[ -- No player -- ]\n"
                           "#@ ini 4_Name=-- Great player --\n"
                           "#@ ini X_Name=not a row\n"
                           "#@ ini [ score ]\n"
                           "#@ ini 10_Name=Saburo\n"
                           "#@ ini [OTHER]\n"
                           "#@ ini 5_Name=Outside the ranking\n"
                           "0 name Taro\n"
                           "#@ ranked 700 1 0 Taro\n"
                           "# 1_Name=a comment";
  const std::string expected = std::string(kReplayMagic) +
                               "\n#@ version 1\n"
                               "#@ ini [ENVIRONMENT]\n"
                               "#@ ini RapidFlag=0\n"
                               "#@ ini Name=Kept in another section\n"
                               "#@ ini [SCORE]\r\n"
                               "#@ ini 1_Values=1 500 0\n"
                               "#@ ini 1_Name=-- Great player --\r\n"
                               "#@ ini 2_Values=0 40 0\n"
                               "#@ ini 2_name=-- Great player --\n"
                               "#@ ini 3_Name=[ -- No player -- ]\n"
                               "#@ ini 4_Name=-- Great player --\n"
                               "#@ ini X_Name=not a row\n"
                               "#@ ini [ score ]\n"
                               "#@ ini 10_Name=-- Great player --\n"
                               "#@ ini [OTHER]\n"
                               "#@ ini 5_Name=Outside the ranking\n"
                               "0 name Taro\n"
                               "#@ ranked 700 1 0 Taro\n"
                               "# 1_Name=a comment";
  EXPECT_EQ(RedactReplay(text), expected);
  EXPECT_EQ(RedactReplay(expected), expected);
}

// The runner's JSON report of a game.
Json Game(int index, bool agreed, bool unfinished, int score, int place,
          const std::string& name = "P") {
  Json replayed = nullptr;
  if (!unfinished) {
    replayed = {
        {"score", score}, {"level", 2}, {"frame", 900 + index}, {"trace", "00000000000000ab"}};
  }
  return {{"index", index},
          {"recorded", agreed ? Json(replayed) : Json(nullptr)},
          {"replayed", replayed},
          {"agreed", agreed},
          {"unfinished", unfinished},
          {"place", place},
          {"name", name}};
}

std::string Report(const std::string& verdict, const Json& games) {
  return Json({{"version", std::string(kReplayVersion)}, {"verdict", verdict}, {"games", games}})
             .dump() +
         "\n";
}

// A report whose trace is no 16 hex digits.
std::string BadTrace() {
  Json game = Game(1, true, false, 100, 1);
  game["replayed"]["trace"] = "0000000000000xyz";
  return Report("verified", Json::array({game}));
}

TEST(BoardChecksTest, VerdictAcceptsOnlyAgreedRankedFinishedGames) {
  const RunnerEnd verified{0, 0, false};
  const RunnerEnd failed{1, 0, false};
  const RunnerEnd refused{2, 0, false};
  const struct {
    std::string report;
    RunnerEnd end;
    std::string refusal;               // empty: per game
    std::vector<std::string> reasons;  // per game, empty: accepted
  } cases[] = {
      {Report("verified", {Game(1, true, false, 100, 1), Game(2, true, false, 5, 0)}),
       verified,
       "",
       {"", "not in the session's ranking"}},
      {Report("failed", {Game(1, true, false, 100, 1), Game(2, false, false, 300, 1),
                         Game(3, true, false, 50, 2)}),
       failed,
       "",
       {"replay differs at game 2", "replay differs at game 2", "replay differs at game 2"}},
      {Report("failed", {Game(1, true, false, 100, 1), Game(2, false, true, 0, 0)}),
       failed,
       "",
       {"", "unfinished at the replay's end"}},
      // the verdict and the status must agree
      {Report("verified", {Game(1, true, false, 100, 1)}), failed, "verification failed", {}},
      {Report("failed", {Game(1, true, false, 100, 1)}), verified, "verification failed", {}},
      {R"({"verdict":"refused","refusal":"line","message":"line 7: bad","line":7,"games":[]})",
       refused,
       "broken at line 7",
       {}},
      {R"({"verdict":"refused","refusal":"version","message":"v","games":[]})",
       refused,
       "wrong version",
       {}},
      {R"({"verdict":"refused","refusal":"too-long","message":"m","games":[]})",
       refused,
       "too long",
       {}},
      {R"({"verdict":"refused","refusal":"events","message":"m","games":[]})",
       refused,
       "too many events",
       {}},
      {"", {-1, 11, false}, "verification failed", {}},
      {"", {-1, 24, true}, "too long", {}},
      {"not json", verified, "verification failed", {}},
      {R"({"verdict":"verified","games":[{"index":1}]})", verified, "verification failed", {}},
      {BadTrace(), verified, "verification failed", {}},
  };
  for (const auto& c : cases) {
    const Verdict verdict = VerdictFromReport(c.report, c.end);
    SCOPED_TRACE(c.report);
    ASSERT_EQ(verdict.refusal.has_value() ? verdict.refusal->reason : "", c.refusal);
    ASSERT_EQ(verdict.games.size(), c.reasons.size());
    for (std::size_t i = 0; i < c.reasons.size(); ++i) {
      EXPECT_EQ(verdict.games[i].reason, c.reasons[i]) << i;
      EXPECT_EQ(verdict.games[i].accepted, c.reasons[i].empty()) << i;
      if (verdict.games[i].replayed) {
        EXPECT_EQ(verdict.games[i].key, "00000000000000ab:" + std::to_string(901 + i) + ":" +
                                            std::to_string(verdict.games[i].score) + ":2");
      }
    }
  }
  Json many = Json::array();
  for (std::size_t i = 1; i <= kMaxSubmittedGames + 1; ++i) {
    many.push_back(Game(static_cast<int>(i), true, false, 1, 0));
  }
  EXPECT_EQ(VerdictFromReport(Report("verified", many), verified).refusal->reason,
            "too many games");
}

TEST(BoardChecksTest, AnswerNamesEachGameAndTheRefusal) {
  Verdict verdict = VerdictFromReport(
      Report("verified", {Game(1, true, false, 100, 1, "Taro \"T\""), Game(2, true, false, 5, 0)}),
      {0, 0, false});
  Json answer = Json::parse(AnswerJson("abc", verdict));
  EXPECT_EQ(answer, Json::parse(R"({"id":"abc","accepted":1,"games":[
    {"game":1,"accepted":true,"score":100,"level":2,"name":"Taro \"T\"","sessionPlace":1},
    {"game":2,"accepted":false,"reason":"not in the session's ranking","score":5,"level":2}]})"));
  verdict = Verdict();
  verdict.refusal = Refusal{"too long", "m"};
  answer = Json::parse(AnswerJson("abc", verdict));
  EXPECT_EQ(
      answer,
      Json::parse(R"({"id":"abc","accepted":0,"reason":"too long","message":"m","games":[]})"));
}

TEST(BoardChecksTest, ContentHashIsSha256) {
  EXPECT_EQ(ContentHash(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(ContentHash("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_TRUE(IsReplayId(ContentHash("abc")));
  EXPECT_FALSE(IsReplayId("BA7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
  EXPECT_FALSE(IsReplayId("../etc/passwd"));
}

TEST(BoardChecksTest, RateLimitRefillsAtItsRatePerAddress) {
  RateLimit limit(6, 3);  // a token every 10 s, 3 at most
  const auto start = RateLimit::Clock::time_point();
  int retry = 0;
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(limit.Take("a", &retry, start)) << i;
  EXPECT_FALSE(limit.Take("a", &retry, start));
  EXPECT_EQ(retry, 10);
  EXPECT_TRUE(limit.Take("b", &retry, start)) << "another address has its own bucket";
  EXPECT_FALSE(limit.Take("a", &retry, start + std::chrono::seconds(6)));
  EXPECT_EQ(retry, 4);
  EXPECT_TRUE(limit.Take("a", &retry, start + std::chrono::seconds(10)));
  EXPECT_FALSE(limit.Take("a", &retry, start + std::chrono::seconds(10)));
  // a long pause refills no more than the bucket holds
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(limit.Take("a", &retry, start + std::chrono::hours(1)));
  EXPECT_FALSE(limit.Take("a", &retry, start + std::chrono::hours(1)));
  RateLimit none(0, 0);
  for (int i = 0; i < 100; ++i) EXPECT_TRUE(none.Take("a", &retry, start));
}

TEST(BoardChecksTest, QueueHoldsAtMostItsCapacityAndFinishesAllOnClose) {
  std::mutex mutex;
  std::condition_variable changed;
  bool release = false;
  std::atomic<int> started = 0;
  std::atomic<int> done = 0;
  auto job = [&] {
    ++started;
    changed.notify_all();
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return release; });
    ++done;
  };
  {
    WorkQueue queue(2, 3);
    EXPECT_TRUE(queue.TryPush(job));
    EXPECT_TRUE(queue.TryPush(job));
    {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return started == 2; });
    }
    EXPECT_EQ(queue.Running(), 2);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(queue.TryPush(job)) << i;
    EXPECT_FALSE(queue.TryPush(job)) << "three wait already";
    EXPECT_EQ(queue.Waiting(), 3u);
    queue.Close();
    EXPECT_FALSE(queue.TryPush(job)) << "closed";
    {
      std::lock_guard<std::mutex> lock(mutex);
      release = true;
    }
    changed.notify_all();
  }  // joins
  EXPECT_EQ(done, 5);
}

}  // namespace
