#include "records/ranking.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

#include <gtest/gtest.h>

#include "app/game_over.h"
#include "platform/headless/headless_host.h"
#include "records/settings.h"
#include "world/world.h"

namespace {

std::string Clean(const char* typed) {
  char out[kNameMaxBytes + 1];
  std::memset(out, '#', sizeof out);
  CleanPlayerName(typed, out);
  EXPECT_LE(std::strlen(out), static_cast<std::size_t>(kNameMaxBytes));
  return out;
}

TEST(CleanPlayerName, RemovesControlCharacters) {
  EXPECT_EQ(Clean("Bo\tb\x01\x7f"), "Bob");
  EXPECT_EQ(Clean("a\nb\rc"), "abc");
  EXPECT_EQ(Clean("x\xC2\x85y"), "xy");        // U+0085, a C1 control
  EXPECT_EQ(Clean("\xC2\xA0z"), "\xC2\xA0z");  // U+00A0 is kept
}

TEST(CleanPlayerName, DropsSurroundingSpaces) {
  EXPECT_EQ(Clean("  Alice  "), "Alice");
  EXPECT_EQ(Clean(" \t Bob \n"), "Bob");
  EXPECT_EQ(Clean("a  b"), "a  b");
}

TEST(CleanPlayerName, NothingLeftGivesEmpty) {
  EXPECT_EQ(Clean(""), "");
  EXPECT_EQ(Clean("     "), "");
  EXPECT_EQ(Clean("\t\r\n \x1b"), "");
  EXPECT_EQ(Clean(nullptr), "");
}

// The cut keeps the longest run of whole characters within 20 columns: two
// for a wide East Asian character, one for any other.
TEST(CleanPlayerName, CutsToTwentyColumns) {
  auto times = [](const std::string& text, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += text;
    return out;
  };
  const std::string hiragana = "\xE3\x81\x82";    // U+3042, wide, 3 bytes
  const std::string fullwidth = "\xEF\xBC\xA1";   // U+FF21, fullwidth A
  const std::string halfwidth = "\xEF\xBD\xB1";   // U+FF71, halfwidth katakana
  const std::string emoji = "\xF0\x9F\x98\x80";   // U+1F600, wide, 4 bytes
  const std::string gothic = "\xF0\x90\x8C\xB0";  // U+10330, narrow, 4 bytes
  const struct {
    std::string typed;
    std::string kept;
  } cases[] = {
      {"abcdefghijklmnopqrstuvwxy", "abcdefghijklmnopqrst"},
      {"abcdefghijklmnopqrst", "abcdefghijklmnopqrst"},
      {"    abcdefghijklmnopqrst", "abcdefghijklmnopqrst"},  // leading blanks are free
      {times(hiragana, 11), times(hiragana, 10)},            // ten Japanese characters
      {times(fullwidth, 10), times(fullwidth, 10)},
      {times(halfwidth, 25), times(halfwidth, 20)},
      {"abcdefghijklmnopqrs" + hiragana, "abcdefghijklmnopqrs"},  // no half character
      {"abcdefghijklmnopqr" + hiragana + "x", "abcdefghijklmnopqr" + hiragana},
      {"abcdefghijklmnopq" + emoji, "abcdefghijklmnopq" + emoji},
      {times(gothic, 21), times(gothic, 20)},  // the widest name: 80 bytes
  };
  for (const auto& c : cases) EXPECT_EQ(Clean(c.typed.c_str()), c.kept) << c.typed;
}

TEST(CleanPlayerName, TrailingSpacesLeftByTheCutAreDropped) {
  EXPECT_EQ(Clean("abcdefghijklmnopqrs xyz"), "abcdefghijklmnopqrs");
}

TEST(CleanPlayerName, MalformedUtf8BytesAreDropped) {
  EXPECT_EQ(Clean("\xFF\xFE"
                  "AB\xC3"),
            "AB");
  EXPECT_EQ(Clean("a\xC0\xAF"
                  "b"),
            "ab");  // overlong
  EXPECT_EQ(Clean("a\xED\xA0\x80"
                  "b"),
            "ab");  // surrogate
  EXPECT_EQ(Clean("a\xF4\x90\x80\x80"
                  "b"),
            "ab");  // above U+10FFFF
  EXPECT_EQ(Clean("a\xE3\x81"
                  "b"),
            "ab");  // cut short
}

class RecordRankingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearWorldForStart();
    HeadlessResetHost();
    ResetRanking();
    World.groundY = 195;
    World.prevGroundY = 197;
    World.pauseFrames = 3;
    World.groundRecovery = 4;
    World.reserveMeteors = 5;
    World.reservePerLevel = 60;
    World.level = 6;
  }

  // Rows with the given scores from the top; the rest empty.
  static void SetScores(std::initializer_list<int> scores) {
    int i = 0;
    for (int score : scores) {
      World.ranking[i].score = score;
      World.ranking[i].level = i;
      std::snprintf(World.ranking[i].name, sizeof World.ranking[i].name, "row%d", i + 1);
      ++i;
    }
  }

  static void Finish(int score, const std::string& typed = "") {
    World.score = score;
    HeadlessQueueName(typed);
    RecordRanking();
  }
};

TEST_F(RecordRankingTest, EqualScoreGoesBelow) {
  SetScores({100, 90, 90, 80, 70, 60, 50, 40, 30, 20});
  Finish(90, "New");
  EXPECT_EQ(World.rankJustAchieved, 4);
  EXPECT_STREQ(World.ranking[2].name, "row3");
  EXPECT_EQ(World.ranking[3].score, 90);
  EXPECT_STREQ(World.ranking[3].name, "New");
  EXPECT_STREQ(World.ranking[4].name, "row4");
  EXPECT_STREQ(World.ranking[9].name, "row9");
}

TEST_F(RecordRankingTest, ScoreEqualToRowTenEntersNowhere) {
  SetScores({100, 90, 80, 70, 60, 50, 40, 30, 20, 10});
  World.rankJustAchieved = 5;
  const WorldState before = World;
  const std::uint32_t randomBefore = RandomState;
  Finish(10, "Nobody");
  EXPECT_EQ(World.rankJustAchieved, 0);
  EXPECT_EQ(HeadlessCounters().nameDialogs, 0);
  EXPECT_EQ(RandomState, randomBefore);  // no reset, no wave, no fireworks
  EXPECT_EQ(World.groundY, 195);
  EXPECT_EQ(std::memcmp(World.ranking, before.ranking, sizeof World.ranking), 0);
}

TEST_F(RecordRankingTest, EmptyTable) {
  World.score = 0;
  RecordRanking();
  EXPECT_EQ(World.rankJustAchieved, 0);
  EXPECT_EQ(HeadlessCounters().nameDialogs, 0);
  EXPECT_STREQ(World.ranking[0].name, kEmptyRankingName);

  Finish(1, "First");
  EXPECT_EQ(World.rankJustAchieved, 1);
  EXPECT_EQ(World.ranking[0].score, 1);
  EXPECT_STREQ(World.ranking[0].name, "First");
  EXPECT_STREQ(World.ranking[1].name, kEmptyRankingName);
}

TEST_F(RecordRankingTest, NewBestShiftsAllRowsAndDropsRowTen) {
  SetScores({100, 90, 80, 70, 60, 50, 40, 30, 20, 10});
  Finish(500, "Top");
  EXPECT_EQ(World.rankJustAchieved, 1);
  EXPECT_EQ(World.ranking[0].score, 500);
  for (int i = 1; i < kRankingRows; ++i) {
    EXPECT_EQ(World.ranking[i].score, 100 - 10 * (i - 1));
    EXPECT_EQ(World.ranking[i].level, i - 1);
    EXPECT_EQ(std::string(World.ranking[i].name), "row" + std::to_string(i));
  }
}

TEST_F(RecordRankingTest, PlaceAtRowTenReplacesOnlyRowTen) {
  SetScores({100, 90, 80, 70, 60, 50, 40, 30, 20, 10});
  const WorldState before = World;
  Finish(15, "Last");
  EXPECT_EQ(World.rankJustAchieved, 10);
  EXPECT_EQ(std::memcmp(World.ranking, before.ranking, 9 * sizeof(RankingEntry)), 0);
  EXPECT_EQ(World.ranking[9].score, 15);
  EXPECT_STREQ(World.ranking[9].name, "Last");
}

TEST_F(RecordRankingTest, RowsOutOfOrderAreWalkedInTableOrder) {
  SetScores({10, 500, 400});
  Finish(50, "X");
  EXPECT_EQ(World.rankJustAchieved, 1);
  EXPECT_EQ(World.ranking[1].score, 10);
  EXPECT_EQ(World.ranking[2].score, 500);
}

TEST_F(RecordRankingTest, NewRowAndWorldReset) {
  RapidFlag = 1;
  World.score = 1234;
  // the stars of the reset come from the draws before the wave and the fireworks
  const WorldState saved = World;
  const std::uint32_t randomSaved = RandomState;
  ResetWorld();
  Star expectedStars[kStarCount];
  std::memcpy(expectedStars, World.stars, sizeof expectedStars);
  World = saved;
  RandomState = randomSaved;
  World.explosions[3].stage = 12;
  World.popups[4].age = 2;

  Finish(1234, "Player");
  const RankingEntry& row = World.ranking[0];
  EXPECT_EQ(row.score, 1234);
  EXPECT_EQ(row.level, 6);
  EXPECT_EQ(row.rapid, 1);
  EXPECT_EQ(World.score, 1234);
  EXPECT_EQ(World.level, 6);
  EXPECT_EQ(World.groundY, 470);
  EXPECT_EQ(World.prevGroundY, 470);
  EXPECT_EQ(World.pauseFrames, 30);
  EXPECT_EQ(World.groundRecovery, 0);
  EXPECT_EQ(World.reserveMeteors, 0);
  EXPECT_EQ(World.reservePerLevel, 0);
  EXPECT_EQ(std::memcmp(World.stars, expectedStars, sizeof expectedStars), 0);
  EXPECT_EQ(World.popups[4].age, 0);
  EXPECT_EQ(HeadlessCounters().nameDialogs, 1);
}

TEST_F(RecordRankingTest, TypedNameIsCleaned) {
  Finish(100, "  Alice \t ");
  EXPECT_STREQ(World.ranking[0].name, "Alice");
  Finish(200, "abcdefghijklmnopqrstuvwxy");
  EXPECT_STREQ(World.ranking[0].name, "abcdefghijklmnopqrst");
}

TEST_F(RecordRankingTest, EmptyOrBlankNameKeepsDefault) {
  Finish(100, "");
  EXPECT_STREQ(World.ranking[0].name, "-- Great player --");
  Finish(200, "   \t ");
  EXPECT_STREQ(World.ranking[0].name, "-- Great player --");
}

TEST_F(RecordRankingTest, NoDialogKeepsTheDefaultNameAndStillMarksTheRow) {
  HeadlessSetNameDialogAvailable(false);
  Finish(100, "Alice");
  EXPECT_STREQ(World.ranking[0].name, "-- Great player --");
  EXPECT_EQ(World.rankJustAchieved, 1);
}

TEST_F(RecordRankingTest, EveryEnteredNameSurvivesSaveAndLoad) {
  const char* typed[] = {
      "\"\"",      "\"Quoted\"",      "'x'", "  \"a\"  ", "\xE5\x90\x8D\xE5\x89\x8D",
      "=[SCORE]=", "; not a comment", " ",   "a\nb"};
  int score = 1000;
  for (const char* name : typed) Finish(score++, name);
  const WorldState before = World;
  const std::string file = SaveSettingsToText("");
  ClearWorldForStart();
  LoadSettingsFromText(file);
  for (int i = 0; i < kRankingRows; ++i) {
    EXPECT_EQ(World.ranking[i].score, before.ranking[i].score) << file;
    EXPECT_STREQ(World.ranking[i].name, before.ranking[i].name) << file;
  }
}

}  // namespace

// The hosts' part of the name cut: whole characters within the buffer.
TEST(CopyTypedName, NeverSplitsACharacterAndAlwaysTerminates) {
  struct Case {
    const char* typed;
    std::size_t capacity;
    const char* copied;
  } cases[] = {
      {"ABCDEFGHIJKLMNOPQRSTUVWXY", 21, "ABCDEFGHIJKLMNOPQRST"},
      {"あいうえおかき", 21, "あいうえおか"},
      {"ABあ", 5, "AB"},
      {"ABあ", 6, "ABあ"},
      {"😀x", 4, ""},
      {"", 21, ""},
      {"AB", 1, ""},
  };
  for (const Case& c : cases) {
    char text[32];
    std::memset(text, 'z', sizeof text);
    CopyTypedName(c.typed, std::strlen(c.typed), text, c.capacity);
    EXPECT_STREQ(text, c.copied) << c.typed << " in " << c.capacity;
  }
  char untouched = 'z';
  CopyTypedName("AB", 2, &untouched, 0);
  EXPECT_EQ(untouched, 'z');
}
