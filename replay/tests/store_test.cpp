#include "replay/store.h"

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "game/tests/fresh_world.h"
#include "platform/posix/tests/file_helpers.h"
#include "records/settings.h"
#include "replay/recorder.h"

namespace {

namespace fs = std::filesystem;

class ReplayStoreTest : public FreshWorld {
 protected:
  void SetUp() override {
    FreshWorld::SetUp();
    folder_ = fs::temp_directory_path() / ("tavro-replays-" + std::to_string(::getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::set<std::string> Files() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  fs::path folder_;
};

// The newest 20 sessions stay; an older one stays while a row it entered is
// still in the ranking; other files in the folder are not touched.
TEST_F(ReplayStoreTest, PruneKeepsTheNewestAndTheStillRanked) {
  ResetRanking();
  World.ranking[0] = {900, 4, 1, "Hanako"};
  World.ranking[1] = {800, 3, 0, "Ta ro"};
  std::set<std::string> expected;
  for (int day = 1; day <= 28; ++day) {
    char name[64];
    std::snprintf(name, sizeof name, "202601%02d-120000-best-%d.tavroreplay", day, day);
    std::string text = "#@ tavro-replay 1\n";
    if (day == 2) text += "#@ ranked 900 4 1 Hanako\n";  // still row 1
    if (day == 3) text += "#@ ranked 800 3 0 Ta ro\n";   // still row 2, name with a blank
    if (day == 4) text += "#@ ranked 800 3 1 Ta ro\n";   // rapid differs: gone
    if (day == 5) text += "#@ ranked 700 3 0 Jiro\n";    // pushed out of the ranking
    WriteFile(folder_ / name, text);
    if (day > 8 || day == 2 || day == 3) expected.insert(name);
  }
  WriteFile(folder_ / "notes.txt", "mine");
  expected.insert("notes.txt");
  PruneReplays(folder_.string());
  EXPECT_EQ(Files(), expected);
}

// Each write replaces the session's file; a better score renames it.
TEST_F(ReplayStoreTest, SessionFileFollowsTheBestScore) {
  SetSettingsFilePath("");
  ReplayBeginSession();
  const std::time_t start = 1700000000;
  ASSERT_TRUE(StoreReplay(folder_.string(), start));
  EXPECT_EQ(Files(), std::set<std::string>{ReplayFileName(start, 0)});
  World.score = 1234;
  World.level = 2;
  ReplayNoteGameEnd();
  ASSERT_TRUE(StoreReplay(folder_.string(), start));
  EXPECT_EQ(Files(), std::set<std::string>{ReplayFileName(start, 1234)});
  EXPECT_EQ(ReadFile(folder_ / ReplayFileName(start, 1234)), ReplayText());
  EXPECT_NE(ReplayText().find("#@ game 1 score 1234 level 2\n"), std::string::npos);
  EXPECT_FALSE(StoreReplay("", start));
}

}  // namespace
