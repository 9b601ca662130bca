// Copies of the program sharing one settings file, played in one process:
// each copy is its world, its settings and its unsaved ranking changes, put
// in place in turn. Games end through RecordRanking, clears through the menu
// command, exits through SaveSettings, all against one real file, as the
// player's own session runs them: a ranked game and a clear save at once.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_over.h"
#include "app/script_player.h"
#include "app/session.h"
#include "app/window_proc.h"
#include "host/files.h"
#include "platform/headless/headless_host.h"
#include "platform/posix/tests/file_helpers.h"
#include "records/ini.h"
#include "records/ranking.h"
#include "records/settings.h"
#include "replay/playback.h"
#include "replay/script.h"
#include "world/world.h"

namespace {

namespace fs = std::filesystem;

class Copy {
 public:
  Copy() {
    ClearWorldForStart();
    Leave();
  }

  void Start() {
    Enter();
    LoadSettings();
    Leave();
  }
  void Win(int score, const std::string& name) {
    Enter();
    World.score = score;
    World.level = 2;
    // the dialog comes only for a score that enters
    if (RankingPlaceOf(score) < kRankingRows) HeadlessQueueName(name);
    RecordRanking();
    Leave();
  }
  void Clear() {
    Enter();
    World.demoMode = 1;
    HeadlessSetConfirmAnswer(true);
    OnCommand(ID_GAME_CLEAR_RANKING);
    Leave();
  }
  // The destroy step's save; the copy's own ranking stays as it was.
  void Exit() {
    Enter();
    const std::string before = Shown();
    SaveSettings();
    EXPECT_EQ(Shown(), before) << "a save changed the copy's own ranking";
    Leave();
  }
  void SetSound(int flag) {
    Enter();
    SoundFlag = flag;
    Leave();
  }

  // The copy's ranking as "name score, ..." without the empty rows.
  static std::string Shown() { return Describe(World.ranking); }
  std::string ShownByCopy() {
    Enter();
    const std::string shown = Shown();
    Leave();
    return shown;
  }

  static std::string Describe(const RankingEntry* rows) {
    std::string out;
    for (int i = 0; i < kRankingRows; ++i) {
      if (std::string(rows[i].name) == kEmptyRankingName && rows[i].score == 0) continue;
      if (!out.empty()) out += ", ";
      out += std::string(rows[i].name) + " " + std::to_string(rows[i].score);
    }
    return out;
  }

 private:
  void Enter() {
    World = world_;
    RapidFlag = flags_[0];
    SoundFlag = flags_[1];
    WaitFlag = flags_[2];
    UnsavedRankingChanges() = changes_;
  }
  void Leave() {
    world_ = World;
    flags_[0] = RapidFlag;
    flags_[1] = SoundFlag;
    flags_[2] = WaitFlag;
    changes_ = UnsavedRankingChanges();
  }

  WorldState world_{};
  int flags_[3] = {0, 1, 1};
  std::vector<RankingChange> changes_;
};

// Rows "name score" with levels 0 as a settings file's SCORE section, the
// rest of the ten empty; optionally row 10 broken.
std::string FileWithRows(const std::vector<std::pair<std::string, int>>& rows,
                         bool breakRowTen = false) {
  std::string text = "[ENVIRONMENT]\nRapidFlag=0\nSoundFlag=1\nWaitFlag=1\n\n[SCORE]\n";
  for (int n = 1; n <= kRankingRows; ++n) {
    const bool has = n <= static_cast<int>(rows.size());
    const std::string name = has ? rows[static_cast<std::size_t>(n - 1)].first : kEmptyRankingName;
    const int score = has ? rows[static_cast<std::size_t>(n - 1)].second : 0;
    const std::string values =
        (breakRowTen && n == 10) ? "1 2" : "0 " + std::to_string(score) + " 0";
    text += std::to_string(n) + "_Values=" + values + "\n";
    text += std::to_string(n) + "_Name=" + name + "\n";
  }
  return text;
}

// Text with "\n" line ends as a new file of this system has them.
std::string NewFileText(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += PlatformNewFileLineEnd();
    } else {
      out += c;
    }
  }
  return out;
}

class RankingCopiesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearWorldForStart();
    HeadlessResetHost();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::path(::testing::TempDir()) / "tavro_ranking_copies" / info->name();
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    file_ = folder_ / "TAVRO.INI";
    BeginPlaySession(false);
    SetSettingsFilePath(file_.string());
  }
  void TearDown() override {
    SetSettingsFilePath("");
    HeadlessResetHost();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  // The file's ranking, described as Copy::Describe does; "unreadable" when
  // its rows are rejected.
  std::string FileRanking() {
    const std::string text = ReadFile(file_);
    const WorldState saved = World;
    const int flags[3] = {RapidFlag, SoundFlag, WaitFlag};
    const std::vector<RankingChange> changes = UnsavedRankingChanges();
    const bool whole = LoadSettingsFromText(text);
    const std::string described = whole ? Copy::Describe(World.ranking) : "unreadable";
    World = saved;
    RapidFlag = flags[0];
    SoundFlag = flags[1];
    WaitFlag = flags[2];
    UnsavedRankingChanges() = changes;
    return described;
  }

  fs::path folder_;
  fs::path file_;
};

// Each step: "A start", "B win 900 Ann", "A clear", "B exit", or "file" for
// a check of the file's ranking at that point.
TEST_F(RankingCopiesTest, EverySaveMergesWithWhatTheFileHoldsNow) {
  const std::string old = FileWithRows({{"Old1", 500}, {"Old2", 300}});
  const std::string broken = FileWithRows({{"Old1", 500}}, true);
  std::vector<std::pair<std::string, int>> full;
  for (int i = 1; i <= 10; ++i) full.push_back({"F" + std::to_string(i), 1100 - 100 * i});
  const std::string fullFile = FileWithRows(full);
  struct Case {
    const char* what;
    const std::string* file;  // null: no file at the start
    std::vector<std::string> steps;
    std::string expected;  // the file's ranking at the end
  };
  const Case cases[] = {
      {"A adds, B (started earlier) exits later",
       &old,
       {"A start", "B start", "A win 900 Ann", "B exit"},
       "Ann 900, Old1 500, Old2 300"},
      {"A adds and exits, B exits after",
       &old,
       {"B start", "A start", "A win 900 Ann", "A exit", "B exit"},
       "Ann 900, Old1 500, Old2 300"},
      {"B clears, A adds after",
       &old,
       {"A start", "B start", "B clear", "file", "A win 900 Ann", "B exit", "A exit"},
       "Ann 900"},
      {"A adds, B clears the rows it showed",
       &old,
       {"A start", "B start", "A win 900 Ann", "B clear", "B exit", "A exit"},
       "Ann 900"},
      {"both add",
       &old,
       {"A start", "B start", "A win 900 Ann", "B win 700 Bob", "A win 800 Cy", "B exit", "A exit"},
       "Ann 900, Cy 800, Bob 700, Old1 500, Old2 300"},
      {"equal scores: the earlier row stays above",
       &old,
       {"A start", "B start", "A win 500 Ann", "B win 500 Bob", "B exit", "A exit"},
       "Old1 500, Ann 500, Bob 500, Old2 300"},
      {"same row in both copies stays twice",
       &old,
       {"A start", "B start", "A win 600 Sam", "B win 600 Sam", "A clear", "B exit"},
       "Sam 600"},
      {"a full table keeps the best ten",
       &fullFile,
       {"A start", "B start", "A win 950 Ann", "B win 50 Low", "B win 650 Bob", "A exit", "B exit"},
       "F1 1000, Ann 950, F2 900, F3 800, F4 700, Bob 650, F5 600, F6 500, F7 400, F8 300"},
      {"file missing",
       nullptr,
       {"A start", "B start", "A win 900 Ann", "file", "B win 700 Bob", "B exit", "A exit"},
       "Ann 900, Bob 700"},
      {"file rejected: this copy's ranking replaces it",
       &broken,
       {"A start", "B start", "A win 900 Ann", "file", "B win 700 Bob", "A exit", "B exit"},
       "Ann 900, Bob 700"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(file_);
    fs::remove(folder_ / "TAVRO.INI.bak");
    HeadlessResetHost();
    if (c.file != nullptr) WriteFile(file_, *c.file);
    std::map<char, Copy> copies;
    copies.emplace('A', Copy());
    copies.emplace('B', Copy());
    std::vector<std::string> seen;  // the file's ranking at each "file" step
    for (const std::string& step : c.steps) {
      SCOPED_TRACE(step);
      std::istringstream words(step);
      std::string who;
      std::string what;
      words >> who >> what;
      if (who == "file") {
        seen.push_back(FileRanking());
        continue;
      }
      Copy& copy = copies.at(who[0]);
      if (what == "start") {
        copy.Start();
      } else if (what == "win") {
        int score = 0;
        std::string name;
        words >> score >> name;
        copy.Win(score, name);
      } else if (what == "clear") {
        copy.Clear();
      } else if (what == "exit") {
        copy.Exit();
      }
    }
    EXPECT_EQ(FileRanking(), c.expected);
    // each save is at once: the file held the row (or the clear) right away
    if (std::string(c.what) == "B clears, A adds after") {
      EXPECT_EQ(seen, std::vector<std::string>{""});
    }
    if (std::string(c.what) == "file missing") {
      EXPECT_EQ(seen, std::vector<std::string>{"Ann 900"});
    }
    if (c.file == &broken) {
      EXPECT_EQ(seen, std::vector<std::string>{"Ann 900"});
      EXPECT_EQ(ReadFile(folder_ / "TAVRO.INI.bak"), broken);
    }
    // a copy's own ranking is what it did itself, whatever the others did
    if (std::string(c.what) == "A adds, B (started earlier) exits later") {
      EXPECT_EQ(copies.at('B').ShownByCopy(), "Old1 500, Old2 300");
    }
  }
}

// A ranked game and a clear write the ranking at once; the three settings
// keep to the exit, and a file without them gets them in their usual place.
TEST_F(RankingCopiesTest, ImmediateSavesLeaveTheSettingsForTheExit) {
  Copy a;
  a.Start();
  a.SetSound(0);
  a.Win(900, "Ann");
  std::string text = ReadFile(file_);
  EXPECT_EQ(text.find(NewFileText("[ENVIRONMENT]\nRapidFlag=0\nSoundFlag=1\nWaitFlag=1\n\n"
                                  "[SCORE]\n1_Values=2 900 0\n1_Name=Ann\n")),
            0u)
      << text;
  WriteFile(file_, "[ENVIRONMENT]\nSoundFlag=1\nRapidFlag=1\n");
  a.Clear();
  text = ReadFile(file_);
  EXPECT_EQ(IniGetInt(text, "ENVIRONMENT", "SoundFlag", -1), 1);
  EXPECT_EQ(IniGetInt(text, "ENVIRONMENT", "RapidFlag", -1), 1);
  EXPECT_EQ(text.find("[ENVIRONMENT]\nSoundFlag=1\nRapidFlag=1\nWaitFlag=1\n\n[SCORE]\n"), 0u)
      << text;
  a.Exit();
  text = ReadFile(file_);
  EXPECT_EQ(IniGetInt(text, "ENVIRONMENT", "SoundFlag", -1), 0);
  EXPECT_EQ(IniGetInt(text, "ENVIRONMENT", "RapidFlag", -1), 0);
}

// Alone, a copy's file ends the same whether each change was saved at once
// (the player's session) or the whole session at its exit (the runner, or
// saves that failed until then): what a save of the copy's own ranking
// writes. From a full table, a game that pushes a row out and a clear after it
// leave nothing of the old rows either way.
TEST_F(RankingCopiesTest, SavesAtOnceOrAtTheExitEndInTheSameFile) {
  std::vector<std::pair<std::string, int>> full;
  for (int i = 1; i <= 10; ++i) full.push_back({"F" + std::to_string(i), 1100 - 100 * i});
  const std::string start = FileWithRows(full);
  const fs::path impossible = folder_ / "plain" / "TAVRO.INI";
  WriteFile(folder_ / "plain", "not a folder");
  auto play = [&](Copy& copy, bool atOnce) {
    copy.Start();
    // saves that fail leave the whole session to the exit's save
    if (!atOnce) SetSettingsFilePath(impossible.string());
    ::testing::internal::CaptureStderr();
    copy.Win(1500, "Zoe");
    copy.Win(1200, "Yu");
    copy.Clear();
    copy.Win(300, "Bo");
    copy.Win(300, "Cy");
    copy.Win(700, "Di");
    copy.Win(300, "Bo");
    ::testing::internal::GetCapturedStderr();
    copy.SetSound(0);
    SetSettingsFilePath(file_.string());
    copy.Exit();
    return ReadFile(file_);
  };
  WriteFile(file_, start);
  Copy a;
  const std::string atOnce = play(a, true);
  WriteFile(file_, start);
  Copy b;
  const std::string atExit = play(b, false);
  EXPECT_EQ(atOnce, atExit);
  EXPECT_EQ(FileRanking(), "Di 700, Bo 300, Cy 300, Bo 300");
  fs::remove(file_);
  a.Exit();
  EXPECT_EQ(ReadFile(file_), NewFileText(atOnce));
}

// The session ends while the name is being typed: the host hands the text
// over, and the end's saves keep it, cleaned. A save made while the dialog
// was still open (with the default name) gives way to the named row when the
// dialog does return: the file never holds the row twice.
TEST_F(RankingCopiesTest, ANameTypedWhenTheSessionEndsIsKept) {
  struct Case {
    const char* what;
    bool handOver;         // the host hands the typed text over
    const char* returned;  // what the dialog returns after the end's save
    std::string expected;
  };
  const Case cases[] = {
      {"the dialog returns nothing more", true, nullptr, "Kim 900, Old1 500, Old2 300"},
      {"the dialog returns the same name", true, "Kim", "Kim 900, Old1 500, Old2 300"},
      {"the dialog returns after a save of the default name", false, "Lee",
       "Lee 900, Old1 500, Old2 300"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(file_, FileWithRows({{"Old1", 500}, {"Old2", 300}}));
    Copy a;
    a.Start();
    std::string atEnd;
    HeadlessWhileNameDialogOpen([&] {
      if (c.handOver) SessionKeepTypedName(" \tKim\x01 ", 7);
      SaveSettings();
      atEnd = FileRanking();
    });
    a.Win(900, c.returned == nullptr ? "" : c.returned);
    HeadlessWhileNameDialogOpen(nullptr);
    EXPECT_EQ(atEnd, c.handOver ? "Kim 900, Old1 500, Old2 300"
                                : "-- Great player -- 900, Old1 500, Old2 300");
    EXPECT_EQ(FileRanking(), c.expected);
    a.Exit();
    EXPECT_EQ(FileRanking(), c.expected);
  }
  // with no dialog open, a hand-over names nothing
  SessionKeepTypedName("Zed", 3);
  EXPECT_EQ(Copy::Describe(World.ranking), cases[2].expected);
}

// A save that fails says so in one line each time; the player is told once
// a session, and only about the ranking.
TEST_F(RankingCopiesTest, AFailedRankingSaveIsToldOnceASession) {
  WriteFile(folder_ / "plain", "not a folder");
  SetSettingsFilePath((folder_ / "plain" / "TAVRO.INI").string());
  Copy a;
  a.Start();
  ::testing::internal::CaptureStderr();
  a.Win(900, "Ann");
  a.Win(800, "Bob");
  a.Exit();
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 3) << said;
  EXPECT_NE(said.find((folder_ / "plain" / "TAVRO.INI").string()), std::string::npos);
  EXPECT_EQ(HeadlessCounters().notices, 1);
  EXPECT_NE(HeadlessLastNotice().find((folder_ / "plain" / "TAVRO.INI").string()),
            std::string::npos);
  EXPECT_EQ(ReadFile(folder_ / "plain"), "not a folder");

  // a new session tells again; a working file tells nothing
  BeginPlaySession(false);
  SetSettingsFilePath((folder_ / "plain" / "TAVRO.INI").string());
  ::testing::internal::CaptureStderr();
  a.Win(950, "Cy");
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(HeadlessCounters().notices, 2);
  SetSettingsFilePath(file_.string());
  a.Win(990, "Di");
  EXPECT_EQ(HeadlessCounters().notices, 2);
  EXPECT_EQ(FileRanking(), "Di 990, Cy 950, Ann 900, Bob 800");
}

// Only the player's own session saves the ranking at once: a script or a
// replay plays from its own settings, and the runner writes its file at the
// exit alone.
TEST_F(RankingCopiesTest, OnlyThePlayersOwnSessionSavesTheRankingAtOnce) {
  const std::string defaults;
  const ReplaySession replay = [] {
    ReplaySession session;
    std::string error;
    EXPECT_TRUE(ParseScript("1 start\n", session.events, session.header, error)) << error;
    return session;
  }();
  const struct {
    const char* what;
    std::function<void()> begin;
    bool saved;
  } cases[] = {
      {"the player's own", [] { BeginPlaySession(false); }, true},
      {"the runner's script", [&] { BeginRunnerScript(replay.events, &defaults); }, false},
      {"a replay", [&] { BeginReplaySession(replay); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(file_);
    c.begin();
    SetSettingsFilePath(file_.string());
    ResetRanking();
    InsertRankingRow(0, 900, 1, 0);
    NoteRankingRowEntered(World.ranking[0]);
    SessionSaveRanking();
    EXPECT_EQ(fs::exists(file_), c.saved);
    PlaybackEnd();
  }
  BeginPlaySession(false);
}

}  // namespace
