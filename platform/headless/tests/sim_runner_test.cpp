#include "platform/headless/sim_runner.h"

#include <gtest/gtest.h>

#include "platform/posix/tests/file_helpers.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Output {
  std::vector<std::string> lines;
  int status = 0;
};

Output Simulate(const std::string& script, long long frames, long long dumpEvery = 0,
                const std::string& ini = "") {
  std::vector<SimEvent> events;
  std::string error;
  EXPECT_TRUE(ParseSimScript(script, events, error)) << error;
  SimOptions options;
  options.frames = frames;
  options.dumpEvery = dumpEvery;
  options.iniPath = ini;
  std::FILE* out = std::tmpfile();
  Output result;
  result.status = RunSimulation(options, events, out);
  std::rewind(out);
  char buffer[1 << 16];
  std::string text;
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0) text.append(buffer, n);
  std::fclose(out);
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) result.lines.push_back(line);
  return result;
}

// The integer after "key": in a JSON line.
long long Field(const std::string& line, const std::string& key) {
  const std::size_t at = line.find("\"" + key + "\":");
  EXPECT_NE(at, std::string::npos) << key;
  return std::stoll(line.substr(at + key.size() + 3));
}

}  // namespace

TEST(SimScriptTest, RejectsBadLinesWithTheirNumber) {
  std::vector<SimEvent> events;
  std::string error;
  EXPECT_FALSE(ParseSimScript("1 start\n2 jump\n", events, error));
  EXPECT_NE(error.find("line 2"), std::string::npos);
  events.clear();
  EXPECT_FALSE(ParseSimScript("x start\n", events, error));
  events.clear();
  EXPECT_FALSE(ParseSimScript("3 click 10\n", events, error));
  events.clear();
  EXPECT_FALSE(ParseSimScript("3 start now\n", events, error));
}

TEST(SimScriptTest, PointerEventsNameWhatIsWrongWithTheirCoordinates) {
  const struct {
    const char* script;
    const char* message;  // empty: accepted
  } cases[] = {
      {"1 click 0 65535\n", ""},
      {"1 move -32768 511\n", ""},
      {"1 click 65536 10\n", "line 1: click coordinate 65536 is outside -32768..65535"},
      {"1 move 10 -32769\n", "line 1: move coordinate -32769 is outside -32768..65535"},
      {"1 start\n2 click 0 -99999999999999999999\n",
       "line 2: click coordinate -99999999999999999999 is outside -32768..65535"},
      {"1 move 10\n", "line 1: move needs two coordinates"},
      {"1 click 1 2 3\n", "line 1: click needs two coordinates"},
      {"1 click x 2\n", "line 1: click needs two coordinates"},
  };
  for (const auto& c : cases) {
    std::vector<SimEvent> events;
    std::string error;
    EXPECT_EQ(ParseSimScript(c.script, events, error), *c.message == '\0') << c.script;
    EXPECT_EQ(error.rfind(c.message, 0), 0u) << c.script << " gave: " << error;
  }
}

TEST(SimScriptTest, SkipsCommentsAndKeepsFileOrderWithinAFrame) {
  std::vector<SimEvent> events;
  std::string error;
  ASSERT_TRUE(ParseSimScript("# comment\n\n5 name  Taro \r\n2 start\n5 click 1 2\n0 name\n", events,
                             error));
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].frame, 0);
  EXPECT_EQ(events[0].text, "");
  EXPECT_EQ(events[1].command, "start");
  EXPECT_EQ(events[2].command, "name");
  EXPECT_EQ(events[2].text, " Taro ");
  EXPECT_EQ(events[3].command, "click");
}

TEST(SimRunTest, DumpsEveryKFramesPlusAFinalLine) {
  Output out = Simulate("", 10, 4);
  ASSERT_EQ(out.lines.size(), 3u);
  EXPECT_EQ(Field(out.lines[0], "frame"), 4);
  EXPECT_EQ(Field(out.lines[1], "frame"), 8);
  EXPECT_EQ(Field(out.lines[2], "frame"), 10);
  out = Simulate("", 8, 4);
  EXPECT_EQ(out.lines.size(), 2u);
  out = Simulate("", 0);
  ASSERT_EQ(out.lines.size(), 1u);
  EXPECT_EQ(Field(out.lines[0], "frame"), 0);
  EXPECT_EQ(Field(out.lines[0], "demoMode"), 1);
  EXPECT_EQ(Field(out.lines[0], "groundY"), 430);
  EXPECT_EQ(Field(out.lines[0], "SoundFlag"), 1);
}

TEST(SimRunTest, AFinalLineFollowsAnyChangeAfterTheLastDump) {
  Output out = Simulate("0 dump\n0 start\n", 0);
  ASSERT_EQ(out.lines.size(), 2u);
  EXPECT_EQ(Field(out.lines[0], "demoMode"), 1);
  EXPECT_EQ(Field(out.lines[1], "frame"), 0);
  EXPECT_EQ(Field(out.lines[1], "demoMode"), 0);
  out = Simulate("0 start\n0 dump\n", 0);  // the dump already shows the end
  ASSERT_EQ(out.lines.size(), 1u);
  EXPECT_EQ(Field(out.lines[0], "demoMode"), 0);
}

TEST(SimRunTest, RunsAreReproducible) {
  const Output a = Simulate("3 start\n40 click 250 300\n", 200, 50);
  const Output b = Simulate("3 start\n40 click 250 300\n", 200, 50);
  EXPECT_EQ(a.lines, b.lines);
}

TEST(SimRunTest, EventsArriveBeforeTheirFrame) {
  const Output out = Simulate("2 start\n2 dump\n", 2);
  ASSERT_EQ(out.lines.size(), 2u);
  EXPECT_EQ(Field(out.lines[0], "frame"), 1);
  EXPECT_EQ(Field(out.lines[0], "demoMode"), 0);
  EXPECT_EQ(Field(out.lines[0], "pauseFrames"), 30);
  EXPECT_EQ(Field(out.lines[1], "pauseFrames"), 29);
}

TEST(SimRunTest, EventsBeyondTheLastFrameAreNotDelivered) {
  const Output out = Simulate("6 start\n", 5);
  ASSERT_EQ(out.lines.size(), 1u);
  EXPECT_EQ(Field(out.lines[0], "demoMode"), 1);
}

TEST(SimRunTest, ExitSavesTheSettingsAndStopsTheRun) {
  const std::string ini = ::testing::TempDir() + "tavro_sim_exit_test.ini";
  std::remove(ini.c_str());
  const Output out = Simulate("1 rapid\n3 exit\n", 100, 0, ini);
  ASSERT_EQ(out.lines.size(), 1u);
  EXPECT_EQ(Field(out.lines[0], "frame"), 2);
  const std::string contents = ReadFile(ini);
  EXPECT_NE(contents.find("RapidFlag=1"), std::string::npos) << contents;
  EXPECT_NE(contents.find("10_Name=[ -- No player -- ]"), std::string::npos);
}

TEST(SimRunTest, ShotsScoreInPlay) {
  // Fire at every rock position for a while: some rock is destroyed.
  std::string script = "1 start\n";
  for (int f = 31; f < 400; f += 3) script += std::to_string(f) + " click 256 300\n";
  const Output out = Simulate(script, 400, 400);
  ASSERT_EQ(out.lines.size(), 1u);
  EXPECT_GT(Field(out.lines[0], "score"), 0);
  EXPECT_NE(out.lines[0].find("\"sounds\":["), std::string::npos);
}

TEST(SimRunTest, GameOverEntersTheRankingWithTheTypedNameAndSavesIt) {
  const std::string ini = ::testing::TempDir() + "tavro_sim_ranking_test.ini";
  std::remove(ini.c_str());
  // Shoot along the ground for a while, then let the rocks bury the field.
  std::string script = "0 start\n0 name   Taro Yamada  \n";
  for (int f = 31; f < 600; f += 2) {
    script += std::to_string(f) + " click " + std::to_string((f * 37) % 512) + " 420\n";
  }
  script += "5999 exit\n";
  const Output out = Simulate(script, 6000, 0, ini);
  ASSERT_EQ(out.lines.size(), 1u);
  const std::string& last = out.lines.back();
  EXPECT_EQ(Field(last, "demoMode"), 1);
  EXPECT_GT(Field(last, "score"), 0);
  EXPECT_EQ(Field(last, "rankJustAchieved"), 1);
  EXPECT_NE(last.find("\"Taro Yamada\""), std::string::npos);
  const std::string contents = ReadFile(ini);
  EXPECT_NE(contents.find("1_Name=Taro Yamada"), std::string::npos) << contents;
}

TEST(SimRunTest, SettingsSurviveARoundTripThroughTheFile) {
  const std::string ini = ::testing::TempDir() + "tavro_sim_roundtrip_test.ini";
  std::remove(ini.c_str());
  Simulate("0 sound\n0 rapid\n1 exit\n", 5, 0, ini);
  const Output out = Simulate("", 0, 0, ini);
  ASSERT_EQ(out.lines.size(), 1u);
  EXPECT_EQ(Field(out.lines[0], "SoundFlag"), 0);
  EXPECT_EQ(Field(out.lines[0], "RapidFlag"), 1);
}

namespace {

// The lines `--verify` writes for a replay made of these events and results.
Output Verify(const std::string& body) {
  const std::string text = std::string(kReplayMagic) + "\n#@ version " + kReplayVersion +
                           "\n#@ ini [ENVIRONMENT]\n" + body;
  std::vector<SimEvent> events;
  ScriptHeader header;
  std::string error;
  EXPECT_TRUE(ParseSimScript(text, events, error, &header)) << error;
  std::FILE* out = std::tmpfile();
  Output result;
  result.status = VerifyReplay(SimOptions(), events, header, out);
  std::rewind(out);
  char line[256];
  while (std::fgets(line, sizeof line, out) != nullptr) {
    result.lines.emplace_back(line, std::strcspn(line, "\n"));
  }
  std::fclose(out);
  return result;
}

}  // namespace

// A game still running after the replay's last event, with no result in the
// file, is named and fails the check; a game that ended (stopped, by an exit,
// or with a result recorded) is compared as ever.
TEST(SimVerifyTest, AGameRunningAtTheReplaysEndIsUnfinished) {
  const std::string zero = "score 0 level 0";
  const struct {
    std::string body;
    int status;
    std::vector<std::string> lines;
  } cases[] = {
      {"0 rapid\n", 0, {"verified: 0 game(s), 0 different"}},
      {"0 start\n5 stop\n#@ game 1 score 0 level 0\n",
       0,
       {"game 1: recorded " + zero + ", replayed " + zero, "verified: 1 game(s), 0 different"}},
      {"0 start\n10 exit\n#@ game 1 score 0 level 0\n",
       0,
       {"game 1: recorded " + zero + ", replayed " + zero, "verified: 1 game(s), 0 different"}},
      {"0 start\n5 click 100 100\n",
       1,
       {"game 1: unfinished at the replay's end", "FAILED: 1 game(s), 0 different, 1 unfinished"}},
      {"0 start\n5 stop\n#@ game 1 score 0 level 0\n10 start\n20 click 1 1\n",
       1,
       {"game 1: recorded " + zero + ", replayed " + zero, "game 2: unfinished at the replay's end",
        "FAILED: 2 game(s), 0 different, 1 unfinished"}},
      // the file says the game ended, the replay does not get there
      {"0 start\n5 click 100 100\n#@ game 1 score 0 level 0\n",
       1,
       {"game 1: recorded " + zero + ", replayed none  DIFFERENT",
        "FAILED: 1 game(s), 1 different"}},
  };
  for (const auto& c : cases) {
    const Output out = Verify(c.body);
    EXPECT_EQ(out.status, c.status) << c.body;
    EXPECT_EQ(out.lines, c.lines) << c.body;
  }
}
