// The runner's JSON report, as the server reads it: each game's results,
// its place in the session's own ranking and the name the replay typed,
// cleaned by the game's rules, kept while the runner records nothing; the
// trace that names a game; and a refusal with its kind and line.
#include <gtest/gtest.h>

#include "board/tests/harness.h"
#include "replay/recorder.h"

namespace board_test {
namespace {

TEST(RunnerReportTest, GamesWithTheirPlacesAndCleanedNames) {
  // two games: the first ranked with a name the game cleans, the second
  // stopped early with points too few for the full table above it
  std::string replay = ReplayHead(FullRanking(10000)) + GameScript(0, "  Alice\tSmith\x01 ");
  replay += "1010 start\n1030 click 256 300\n1100 stop\n1150 move 2 2\n";
  int status = -1;
  Json report = VerifyReport(Honest(replay), &status);
  ASSERT_TRUE(report.is_object());
  EXPECT_EQ(status, 0);
  EXPECT_EQ(report["verdict"], "verified");
  ASSERT_EQ(report["games"].size(), 2u);
  const Json& first = report["games"][0];
  EXPECT_EQ(first["index"], 1);
  EXPECT_EQ(first["agreed"], true);
  EXPECT_EQ(first["unfinished"], false);
  EXPECT_GT(first["replayed"]["score"].get<int>(), 10000);
  EXPECT_EQ(first["recorded"]["score"], first["replayed"]["score"]);
  EXPECT_EQ(first["place"], 1);
  EXPECT_EQ(first["name"], "AliceSmith");
  const Json& second = report["games"][1];
  EXPECT_LT(second["replayed"]["score"].get<int>(), 10000);
  EXPECT_EQ(second["place"], 0);
  EXPECT_EQ(second["name"], "");
  EXPECT_EQ(second["replayed"]["frame"], 1099);  // the stop comes before frame 1100

  // a game running at the end is named, with no result on either side
  report = VerifyReport(Honest(replay) + "1200 start\n1300 click 256 300\n", &status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(report["verdict"], "failed");
  ASSERT_EQ(report["games"].size(), 3u);
  EXPECT_EQ(report["games"][2],
            Json::parse(R"({"index":3,"recorded":null,"replayed":null,"agreed":false,
                            "unfinished":true,"place":0,"name":""})"));
  EXPECT_EQ(report["unfinished"], 1);
}

// The trace is the play's: comments, another name, boxes answered Cancel,
// the about box, the sound switch and a pointer move without rapid fire
// leave it; a shot a frame later changes it.
TEST(RunnerReportTest, TraceFollowsThePlayOnly) {
  const std::string head = ReplayHead();
  auto trace = [](const std::string& replay) {
    const Json report = VerifyReport(replay);
    return report["games"][0]["replayed"]["trace"].get<std::string>() + " " +
           std::to_string(report["games"][0]["replayed"]["score"].get<int>());
  };
  const std::string plain = trace(head + GameScript(1, "A"));
  EXPECT_EQ(plain.size(), 16 + 1 + std::to_string(std::stoi(plain.substr(17))).size());
  std::string busy = GameScript(1, "Somebody else");
  busy.insert(busy.find("100 click"),
              "# a comment\n99 about\n99 sound\n99 move 5 5\n99 clear-cancel\n99 exit-cancel\n"
              "100 dump\n");
  EXPECT_EQ(trace(head + busy), plain);
  std::string moved = GameScript(1, "A");
  moved.replace(moved.find("\n40 click"), 9, "\n41 click");
  EXPECT_NE(trace(head + moved), plain);
}

TEST(RunnerReportTest, RefusalsNameTheirKindAndLine) {
  const std::string head = ReplayHead();
  std::string many = head;
  for (int i = 0; i < 100010; ++i) many += "1 stop\n";
  const struct {
    std::string replay;
    std::vector<std::string> options;
    std::string kind;
    int line;  // 0: none
  } cases[] = {
      {head + "0 start\n5 klick 1 1\n", {}, "line", 5},
      {head + "0 start\n-1 stop\n", {}, "line", 5},
      {ReplayHead() + "#@ game x\n", {}, "line", 4},
      {std::string(kReplayMagic) + "\n#@ version 0.1\n#@ ini [ENVIRONMENT]\n", {}, "version", 0},
      {std::string(kReplayMagic) + "\n#@ version " + kReplayVersion + "\n0 start\n",
       {},
       "settings",
       0},
      {"0 start\n", {}, "format", 0},
      {"#@ tavro-replay 7\n", {}, "format", 0},
      {head + "0 start\n5001 stop\n", {"--max-frames", "5000"}, "too-long", 0},
      {many, {}, "events", 0},
  };
  for (const auto& c : cases) {
    std::vector<std::string> argv = {TAVRO_SIM_PATH, "--verify", "-", "--report", "json"};
    argv.insert(argv.end(), c.options.begin(), c.options.end());
    const ProgramResult run = RunProgram(argv, c.replay);
    SCOPED_TRACE(c.replay.substr(0, 80));
    EXPECT_EQ(run.status, 2);
    const Json report = Json::parse(run.out, nullptr, false);
    ASSERT_TRUE(report.is_object()) << run.out;
    EXPECT_EQ(report["verdict"], "refused");
    EXPECT_EQ(report["refusal"], c.kind);
    EXPECT_FALSE(report["message"].get<std::string>().empty());
    EXPECT_EQ(report["games"], Json::array());
    if (c.line > 0) {
      EXPECT_EQ(report["line"], c.line);
    } else {
      EXPECT_FALSE(report.contains("line"));
    }
  }
  // with --max-frames, a replay within them plays
  const ProgramResult within =
      RunProgram({TAVRO_SIM_PATH, "--verify", "-", "--report", "json", "--max-frames", "5000"},
                 Honest(head + GameScript(0, "A")));
  EXPECT_EQ(within.status, 0) << within.out;
  // the options of the check go with --verify only
  EXPECT_EQ(RunProgram({TAVRO_SIM_PATH, "--frames", "1", "--report", "json"}).status, 2);
  EXPECT_EQ(RunProgram({TAVRO_SIM_PATH, "--verify", "-", "--report", "xml"}).status, 2);
}

}  // namespace
}  // namespace board_test
