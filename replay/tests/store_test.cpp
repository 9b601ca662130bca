#include "replay/store.h"

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>

#include <gtest/gtest.h>

#include "game/tests/fresh_world.h"
#include "platform/posix/tests/file_helpers.h"
#include "records/settings.h"
#include "replay/recorder.h"

namespace {

namespace fs = std::filesystem;

std::string Day(int day, int best = 1) {
  char name[64];
  std::snprintf(name, sizeof name, "202601%02d-120000-best-%d.tavroreplay", day, best);
  return name;
}

class ReplayStoreTest : public FreshWorld {
 protected:
  void SetUp() override {
    FreshWorld::SetUp();
    SetSettingsFilePath("");
    ResetRanking();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = fs::temp_directory_path() /
            ("tavro-replays-" + std::to_string(::getpid()) + "-" + info->name());
    fs::remove_all(root_);
    folder_ = root_ / "replays";
    outside_ = root_ / "outside";
    fs::create_directories(folder_);
    fs::create_directories(outside_);
  }
  void TearDown() override { fs::remove_all(root_); }

  std::set<std::string> Files() const { return FilesIn(folder_); }
  static std::set<std::string> FilesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  void WriteReplay(const std::string& name, const std::string& body = std::string()) {
    WriteFile(folder_ / name, std::string(kReplayMagic) + "\n" + body);
  }

  // A symbolic link, where this system lets the test make one.
  static bool MakeLink(const fs::path& target, const fs::path& link) {
#ifdef _WIN32
    (void)target;
    (void)link;
    return false;  // no links that the file layer would see as such
#else
    std::error_code error;
    fs::create_symlink(target, link, error);
    return !error;
#endif
  }

  fs::path root_;
  fs::path folder_;
  fs::path outside_;
};

// Only names ReplayFileName makes count as replays.
TEST_F(ReplayStoreTest, NamesTheStoreMakes) {
  const std::time_t start = 1700000000;
  EXPECT_TRUE(IsReplayFileName(ReplayFileName(start, 0)));
  EXPECT_TRUE(IsReplayFileName(ReplayFileName(start, 2147483647, kMaxReplayNameCounter)));
  EXPECT_EQ(ReplayFileName(start, 5, 1).find("-best-5.tavroreplay"), 15u);
  EXPECT_EQ(ReplayFileName(start, 5, 2).substr(15), "-2-best-5.tavroreplay");
  for (const char* name :
       {"20260101-120000-best-0.tavroreplay", "20260101-120000-best-1234.tavroreplay",
        "20260101-120000-2-best-9.tavroreplay", "20260101-120000-99-best-9.tavroreplay"}) {
    EXPECT_TRUE(IsReplayFileName(name)) << name;
  }
  for (const char* name :
       {"zz-friend.tavroreplay", "20260101-120000-best-.tavroreplay",
        "20260101-120000-best-01.tavroreplay", "20260101-120000-1-best-9.tavroreplay",
        "20260101-120000-02-best-9.tavroreplay", "20260101-120000-100-best-9.tavroreplay",
        "20260101-120000-best-9.tavroreplay.bak", "20260101-120000-best-9.tavroreplay2",
        "2026011-120000-best-9.tavroreplay", "20260101_120000-best-9.tavroreplay",
        "20260101-120000-best-12345678901.tavroreplay", "x20260101-120000-best-9.tavroreplay",
        "20260101-120000-best-9", "20260101-120000", ""}) {
    EXPECT_FALSE(IsReplayFileName(name)) << name;
  }
}

// The newest 20 sessions stay; an older one stays while a row it entered is
// still in the ranking; other files in the folder are not touched.
TEST_F(ReplayStoreTest, PruneKeepsTheNewestAndTheStillRanked) {
  World.ranking[0] = {900, 4, 1, "Hanako"};
  World.ranking[1] = {800, 3, 0, "Ta ro"};
  std::set<std::string> expected;
  for (int day = 1; day <= 28; ++day) {
    std::string body;
    if (day == 2) body += "#@ ranked 900 4 1 Hanako\n";  // still row 1
    if (day == 3) body += "#@ ranked 800 3 0 Ta ro\n";   // still row 2, name with a blank
    if (day == 4) body += "#@ ranked 800 3 1 Ta ro\n";   // rapid differs: gone
    if (day == 5) body += "#@ ranked 700 3 0 Jiro\n";    // pushed out of the ranking
    if (day == 6)
      body += std::string(1000, 'x') + "#@ ranked 900 4 1 Hanako\n";  // not a line start
    WriteReplay(Day(day), "# a comment\n" + body + "0 move 1 1\n");
    if (day > 8 || day == 2 || day == 3) expected.insert(Day(day));
  }
  WriteFile(folder_ / "notes.txt", "mine");
  expected.insert("notes.txt");
  PruneReplays(folder_.string());
  EXPECT_EQ(Files(), expected);
}

// Files named like replays that the store did not make, or without the
// replay magic, or that are no regular files, are never removed and take
// none of the kept places.
TEST_F(ReplayStoreTest, ForeignFilesAreNeitherRemovedNorCounted) {
  std::set<std::string> expected;
  const auto foreign = [&](const std::string& name, const std::string& text) {
    WriteFile(folder_ / name, text);
    expected.insert(name);
  };
  const std::string magic = std::string(kReplayMagic) + "\n";
  foreign("zz-friend.tavroreplay", magic);                          // sorts after every start time
  foreign("20991231-235959-best-1.tavroreplay", "not a replay\n");  // newest by name
  foreign("20991231-235958-best-1.tavroreplay", "");
  foreign("20991231-235957-best-1.tavroreplay", std::string(kReplayMagic) + "2\n");
  foreign("20991231-235956-best-1.tavroreplay", std::string(kReplayMagic).substr(0, 10));
  foreign("20250101-000000-best-1.tavroreplay", "old and not a replay\n");
  foreign("20250101-000000-best-01.tavroreplay", magic);
  foreign("20250101-000000-1-best-1.tavroreplay", magic);
  foreign("20250101-000001-best-1.TAVROREPLAY", magic);
  fs::create_directory(folder_ / "20250101-000002-best-1.tavroreplay");
  expected.insert("20250101-000002-best-1.tavroreplay");
  WriteFile(outside_ / "theirs.tavroreplay", magic);
  if (MakeLink(outside_ / "theirs.tavroreplay", folder_ / "20991231-235955-best-1.tavroreplay")) {
    expected.insert("20991231-235955-best-1.tavroreplay");
  }
  WriteFile(outside_ / "old.tavroreplay", magic);
  if (MakeLink(outside_ / "old.tavroreplay", folder_ / "20250101-000003-best-1.tavroreplay")) {
    expected.insert("20250101-000003-best-1.tavroreplay");
  }
  for (int day = 1; day <= 25; ++day) {
    WriteReplay(Day(day));
    if (day > 5) expected.insert(Day(day));
  }
  for (int call = 0; call < 3; ++call) {  // the remembered foreign names change nothing
    PruneReplays(folder_.string());
    EXPECT_EQ(Files(), expected);
  }
  EXPECT_EQ(FilesIn(outside_), (std::set<std::string>{"old.tavroreplay", "theirs.tavroreplay"}));
}

// Each call opens a bounded number of files, so a big folder is pruned over
// many calls: each removes some and at most its share, and in the end the
// newest 20 of ours stay, beside every foreign file. Foreign files named
// like the newest replays, more than a call may open, hold up pruning only
// for some calls.
TEST_F(ReplayStoreTest, BigFolderIsPrunedInBoundedSlices) {
  constexpr int kOld = 400;
  constexpr int kForeign = 100;
  std::set<std::string> expected;
  for (int i = 0; i < kOld + kReplaysKept; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "2025%04d-%06d-best-%d.tavroreplay", 100 + i / 1000, i % 1000,
                  i);
    WriteReplay(name, "0 move 1 1\n");
    if (i >= kOld) expected.insert(name);
  }
  for (int i = 0; i < kForeign; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "20990101-%06d-best-0.tavroreplay", i);
    WriteFile(folder_ / name, "someone else's\n");
    expected.insert(name);
  }
  const std::size_t most = kPruneOpenedPerCall - kReplaysKept;
  std::set<std::string> files = Files();
  int calls = 0;
  for (; files != expected && calls < 1000; ++calls) {
    PruneReplays(folder_.string());
    const std::set<std::string> now = Files();
    EXPECT_LE(files.size() - now.size(), most);
    files = now;
  }
  EXPECT_EQ(files, expected);
  EXPECT_GE(calls, kOld / static_cast<int>(most));
}

// Each write replaces the session's file; a better score renames it.
TEST_F(ReplayStoreTest, SessionFileFollowsTheBestScore) {
  ReplayBeginSession();
  StoredReplay session;
  const std::time_t start = 1700000000;
  ASSERT_TRUE(StoreReplay(&session, folder_.string(), start));
  EXPECT_EQ(Files(), std::set<std::string>{ReplayFileName(start, 0)});
  World.score = 1234;
  World.level = 2;
  ReplayNoteGameEnd();
  ASSERT_TRUE(StoreReplay(&session, folder_.string(), start));
  EXPECT_EQ(Files(), std::set<std::string>{ReplayFileName(start, 1234)});
  EXPECT_EQ(ReadFile(folder_ / ReplayFileName(start, 1234)), ReplayText());
  EXPECT_NE(ReplayText().find("#@ game 1 score 1234 level 2\n"), std::string::npos);
  World.score = 10;
  ReplayNoteGameEnd();  // not better: the same file, rewritten
  ASSERT_TRUE(StoreReplay(&session, folder_.string(), start));
  EXPECT_EQ(Files(), std::set<std::string>{ReplayFileName(start, 1234)});
  EXPECT_EQ(ReadFile(folder_ / ReplayFileName(start, 1234)), ReplayText());
  StoredReplay other;
  EXPECT_FALSE(StoreReplay(&other, "", start));
}

// Two sessions started in the same second keep a file each; each removes
// only its own file under an older name.
TEST_F(ReplayStoreTest, SessionsOfOneSecondKeepTheirOwnFiles) {
  const std::time_t start = 1700000100;
  ReplayBeginSession();
  StoredReplay first;
  StoredReplay second;
  ASSERT_TRUE(StoreReplay(&first, folder_.string(), start));
  const std::string firstText = ReplayText();
  ReplayNoteCommand("pause");  // the second session's record differs
  ASSERT_TRUE(StoreReplay(&second, folder_.string(), start));
  const std::string secondText = ReplayText();
  EXPECT_EQ(Files(),
            (std::set<std::string>{ReplayFileName(start, 0), ReplayFileName(start, 0, 2)}));
  EXPECT_EQ(ReadFile(folder_ / ReplayFileName(start, 0)), firstText);
  EXPECT_EQ(ReadFile(folder_ / ReplayFileName(start, 0, 2)), secondText);

  World.score = 500;
  ReplayNoteGameEnd();
  ASSERT_TRUE(StoreReplay(&second, folder_.string(), start));  // takes the first free name
  EXPECT_EQ(Files(), (std::set<std::string>{ReplayFileName(start, 0), ReplayFileName(start, 500)}));
  ASSERT_TRUE(StoreReplay(&first, folder_.string(), start));
  EXPECT_EQ(Files(),
            (std::set<std::string>{ReplayFileName(start, 500), ReplayFileName(start, 500, 2)}));
  EXPECT_EQ(first.name, ReplayFileName(start, 500, 2));
  EXPECT_EQ(second.name, ReplayFileName(start, 500));
}

// Links in the folder, named like the session's next file or standing where
// its file was, are never written through, removed or followed: the session
// takes another name and everything outside stays as it was.
TEST_F(ReplayStoreTest, LinksInTheFolderAreNeverFollowed) {
  const std::time_t start = 1700000200;
  const fs::path victim = outside_ / "victim";
  WriteFile(victim, "untouched");
  if (!MakeLink(victim, folder_ / ReplayFileName(start, 0))) GTEST_SKIP() << "no links here";
  ASSERT_TRUE(MakeLink(outside_ / "created", folder_ / ReplayFileName(start, 0, 2)));  // dangling
  ReplayBeginSession();
  StoredReplay session;
  ASSERT_TRUE(StoreReplay(&session, folder_.string(), start));
  EXPECT_EQ(session.name, ReplayFileName(start, 0, 3));
  EXPECT_EQ(ReadFile(folder_ / session.name), ReplayText());

  // the session's own file replaced by a link: a new name, the link stays
  fs::remove(folder_ / session.name);
  ASSERT_TRUE(MakeLink(victim, folder_ / session.name));
  ASSERT_TRUE(StoreReplay(&session, folder_.string(), start));
  EXPECT_EQ(session.name, ReplayFileName(start, 0, 4));
  // and on a better score the link under the older name is not removed
  fs::remove(folder_ / session.name);
  ASSERT_TRUE(MakeLink(victim, folder_ / session.name));
  World.score = 70;
  ReplayNoteGameEnd();
  ASSERT_TRUE(StoreReplay(&session, folder_.string(), start));
  EXPECT_EQ(session.name, ReplayFileName(start, 70));
  EXPECT_EQ(Files(),
            (std::set<std::string>{ReplayFileName(start, 0), ReplayFileName(start, 0, 2),
                                   ReplayFileName(start, 0, 3), ReplayFileName(start, 0, 4),
                                   ReplayFileName(start, 70)}));
  for (const std::string& name : Files()) {
    EXPECT_EQ(fs::is_symlink(folder_ / name), name != ReplayFileName(start, 70)) << name;
  }
  EXPECT_EQ(ReadFile(victim), "untouched");
  EXPECT_EQ(FilesIn(outside_), std::set<std::string>{"victim"});
}

}  // namespace
