#include "board/tests/store_rules.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace board_test {

namespace {

GameVerdict Accepted(int index, int score, const std::string& name, const std::string& trace) {
  GameVerdict game;
  game.index = index;
  game.accepted = true;
  game.replayed = true;
  game.score = score;
  game.level = 1;
  game.place = 1;
  game.name = name;
  game.key = trace + ":" + std::to_string(100 * index) + ":" + std::to_string(score) + ":1";
  return game;
}

Verdict Of(std::vector<GameVerdict> games) {
  Verdict verdict;
  verdict.games = std::move(games);
  return verdict;
}

std::string Names(const std::vector<RankedScore>& rows) {
  std::string names;
  for (const RankedScore& row : rows) names += row.name + " ";
  return names;
}

}  // namespace

void ExpectStoreRules(Store& store) {
  const std::string a(64, 'a');
  const std::string b(64, 'b');
  const std::string c(64, 'c');
  const std::string d(64, 'd');
  // a ties with the first, then a better one, in that order
  PutResult put = store.Put(a, "text a", false,
                            Of({Accepted(1, 500, "First", "0000000000000001"),
                                Accepted(2, 700, "Best", "0000000000000002")}));
  EXPECT_TRUE(put.stored);
  EXPECT_EQ(nlohmann::json::parse(put.answer)["accepted"], 2);
  put = store.Put(b, "text b", true, Of({Accepted(1, 500, "Second", "0000000000000003")}));
  EXPECT_TRUE(put.stored);
  EXPECT_EQ(Names(store.Ranking(0, 10)), "Best First Second ");
  EXPECT_EQ(Names(store.Ranking(0, 2)), "Best First ");
  EXPECT_EQ(Names(store.Ranking(NowMicros() + 60000000, 10)), "");

  // the same id again: the first answer, nothing new
  const std::string first = *store.FindAnswer(a);
  put = store.Put(a, "another text", false, Of({Accepted(1, 900, "Cheat", "00000000000000ff")}));
  EXPECT_TRUE(put.stored);
  EXPECT_EQ(put.answer, first);
  EXPECT_EQ(*store.ReplayText(a), "text a");

  // a game counted already, in a file with a new one: only the new one
  put = store.Put(c, "text c", false,
                  Of({Accepted(1, 500, "Copy", "0000000000000001"),
                      Accepted(2, 600, "New", "0000000000000004")}));
  EXPECT_TRUE(put.stored);
  nlohmann::json answer = nlohmann::json::parse(put.answer);
  EXPECT_EQ(answer["accepted"], 1);
  EXPECT_EQ(answer["games"][0]["reason"], "already counted");
  EXPECT_EQ(answer["games"][1]["accepted"], true);
  EXPECT_EQ(*store.FindAnswer(c), put.answer);
  // a file of games all counted already is not kept
  put = store.Put(d, "text d", false, Of({Accepted(2, 600, "Again", "0000000000000004")}));
  EXPECT_FALSE(put.stored);
  EXPECT_EQ(nlohmann::json::parse(put.answer)["games"][0]["reason"], "already counted");
  EXPECT_FALSE(store.FindAnswer(d).has_value());
  EXPECT_FALSE(store.ReplayText(d).has_value());
  EXPECT_EQ(Names(store.Ranking(0, 100)), "Best New First Second ");
  const std::vector<RankedScore> rows = store.Ranking(0, 1);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].replayId, a);
  EXPECT_EQ(rows[0].game, 2);
  EXPECT_EQ(rows[0].score, 700);
  EXPECT_EQ(rows[0].level, 1);
  EXPECT_GT(rows[0].acceptedAt, NowMicros() - 3600000000LL);
  EXPECT_NO_THROW(store.Check());
}

}  // namespace board_test
