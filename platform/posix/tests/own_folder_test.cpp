// The calls for a folder the program keeps as its own (the replays): writing,
// reading, removing and listing never follow a symbolic link out of it.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix/tests/file_helpers.h"

#include "host/files.h"
#include "host/own_folder.h"

namespace {

namespace fs = std::filesystem;

// The kind of thing at path, links not followed; 0 for nothing.
mode_t KindAt(const fs::path& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0 ? (info.st_mode & S_IFMT) : 0;
}

class OwnFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = fs::path(::testing::TempDir()) / "tavro_own_folder_test" / info->name();
    fs::remove_all(root_);
    folder_ = root_ / "replays";
    outside_ = root_ / "outside";
    fs::create_directories(folder_);
    fs::create_directories(outside_);
  }
  void TearDown() override { fs::remove_all(root_); }

  // What the case puts at folder_/name before the write; false when this
  // system cannot make it.
  bool Make(const std::string& kind, const fs::path& at) {
    if (kind == "regular file") WriteFile(at, "old");
    if (kind == "link to a file outside") fs::create_symlink(outside_ / "victim", at);
    if (kind == "dangling link outside") fs::create_symlink(outside_ / "created", at);
    if (kind == "relative dangling link") fs::create_symlink("../outside/created", at);
    if (kind == "link to a folder outside") fs::create_symlink(outside_, at);
    if (kind == "folder") fs::create_directory(at);
    if (kind == "fifo") return MakeFifo(at);
    return true;
  }

  fs::path root_;
  fs::path folder_;
  fs::path outside_;
};

// Each kind of thing standing at the name, written over with either mode:
// only a regular file is ever replaced, nothing outside the folder is
// written or created, and no temporary file stays behind.
TEST_F(OwnFolderTest, WritesOnlyRegularFilesAndNeverThroughLinks) {
  struct Case {
    const char* standing;
    WriteFailure createNew;
    WriteFailure replace;
  };
  const Case cases[] = {
      {"nothing", WriteFailure::None, WriteFailure::None},
      {"regular file", WriteFailure::Exists, WriteFailure::None},
      {"link to a file outside", WriteFailure::Exists, WriteFailure::NotRegular},
      {"dangling link outside", WriteFailure::Exists, WriteFailure::NotRegular},
      {"relative dangling link", WriteFailure::Exists, WriteFailure::NotRegular},
      {"link to a folder outside", WriteFailure::Exists, WriteFailure::NotRegular},
      {"folder", WriteFailure::Exists, WriteFailure::NotRegular},
      {"fifo", WriteFailure::Exists, WriteFailure::NotRegular},
  };
  for (const Case& c : cases) {
    for (const WriteMode mode : {WriteMode::CreateNew, WriteMode::ReplaceRegular}) {
      const bool creating = mode == WriteMode::CreateNew;
      SCOPED_TRACE(std::string(c.standing) + (creating ? ", create new" : ", replace"));
      fs::remove_all(folder_);
      fs::remove_all(outside_);
      fs::create_directories(folder_);
      fs::create_directories(outside_);
      WriteFile(outside_ / "victim", "untouched");
      const fs::path file = folder_ / "20260101-120000-best-0.tavroreplay";
      if (!Make(c.standing, file)) continue;
      const mode_t before = KindAt(file);
      const WriteFailure expected = creating ? c.createNew : c.replace;
      EXPECT_EQ(PlatformWriteRegularFile(file.c_str(), "new", 3, mode), expected);
      if (expected == WriteFailure::None) {
        EXPECT_EQ(KindAt(file), S_IFREG);
        EXPECT_EQ(ReadFile(file), "new");
      } else {
        EXPECT_EQ(KindAt(file), before);
        if (before == S_IFREG) {
          EXPECT_EQ(ReadFile(file), "old");
        }
      }
      EXPECT_EQ(ReadFile(outside_ / "victim"), "untouched");
      EXPECT_EQ(KindAt(outside_ / "created"), 0);
      EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
      EXPECT_EQ(std::distance(fs::directory_iterator(outside_), fs::directory_iterator()), 1);
    }
  }
  // missing folders on the way are made, as for the settings file
  const fs::path deep = folder_ / "a" / "b" / "c.tavroreplay";
  EXPECT_EQ(PlatformWriteRegularFile(deep.c_str(), "x", 1, WriteMode::CreateNew),
            WriteFailure::None);
  EXPECT_EQ(ReadFile(deep), "x");
  EXPECT_EQ(PlatformWriteRegularFile("", "x", 1, WriteMode::CreateNew), WriteFailure::Failed);
  EXPECT_EQ(PlatformWriteRegularFile((folder_ / "..").c_str(), "x", 1, WriteMode::ReplaceRegular),
            WriteFailure::Failed);
}

// Many writers of one new name at once: exactly one takes it, the others are
// told it exists, and the file holds the winner's bytes whole.
TEST_F(OwnFolderTest, ConcurrentCreatorsOfOneNameHaveOneWinner) {
  const fs::path file = folder_ / "same-second.tavroreplay";
  constexpr int kWriters = 8;
  std::vector<WriteFailure> results(kWriters);
  std::vector<std::string> texts;
  for (int i = 0; i < kWriters; ++i)
    texts.push_back(std::string(200000, static_cast<char>('a' + i)));
  std::vector<std::thread> writers;
  for (int i = 0; i < kWriters; ++i) {
    writers.emplace_back([&, i] {
      results[i] = PlatformWriteRegularFile(file.c_str(), texts[i].data(), texts[i].size(),
                                            WriteMode::CreateNew);
    });
  }
  for (std::thread& writer : writers) writer.join();
  const auto winners = std::count(results.begin(), results.end(), WriteFailure::None);
  EXPECT_EQ(winners, 1);
  EXPECT_EQ(std::count(results.begin(), results.end(), WriteFailure::Exists), kWriters - 1);
  const auto winner = std::find(results.begin(), results.end(), WriteFailure::None);
  ASSERT_NE(winner, results.end());
  EXPECT_EQ(ReadFile(file), texts[winner - results.begin()]);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

// Reading and removing take a regular file and leave a link, its target, a
// folder and a FIFO alone.
TEST_F(OwnFolderTest, ReadsAndRemovesOnlyRegularFiles) {
  struct Case {
    const char* standing;
    OpenFailure read;
    bool removed;
  };
  const Case cases[] = {
      {"nothing", OpenFailure::Missing, false},
      {"regular file", OpenFailure::None, true},
      {"link to a file outside", OpenFailure::NotRegular, false},
      {"dangling link outside", OpenFailure::NotRegular, false},
      {"link to a folder outside", OpenFailure::NotRegular, false},
      {"folder", OpenFailure::NotRegular, false},
      {"fifo", OpenFailure::NotRegular, false},
  };
  WriteFile(outside_ / "victim", "untouched");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.standing);
    const fs::path file = folder_ / c.standing;
    if (!Make(c.standing, file)) continue;
    const mode_t before = KindAt(file);
    OpenFailure failure = OpenFailure::Failed;
    std::FILE* stream = PlatformOpenRegularForReading(file.c_str(), 100, &failure);
    EXPECT_EQ(failure, c.read);
    EXPECT_EQ(stream != nullptr, c.read == OpenFailure::None);
    if (stream != nullptr) std::fclose(stream);
    EXPECT_EQ(PlatformRemoveRegularFile(file.c_str()), c.removed);
    EXPECT_EQ(KindAt(file), c.removed ? 0 : before);
  }
  // the bound on the size holds as for PlatformOpenForReading
  WriteFile(folder_ / "large", std::string(101, 'x'));
  OpenFailure failure = OpenFailure::None;
  EXPECT_EQ(PlatformOpenRegularForReading((folder_ / "large").c_str(), 100, &failure), nullptr);
  EXPECT_EQ(failure, OpenFailure::TooLarge);
  EXPECT_EQ(ReadFile(outside_ / "victim"), "untouched");
  EXPECT_TRUE(fs::is_directory(outside_));
}

// A listing tells each kind as the folder holds it, stops at the limit, and
// fails for what is no folder.
TEST_F(OwnFolderTest, ListsKindsWithoutFollowingLinks) {
  WriteFile(outside_ / "victim", "untouched");
  for (const char* kind : {"regular file", "link to a file outside", "dangling link outside",
                           "link to a folder outside", "folder", "fifo"}) {
    Make(kind, folder_ / kind);
  }
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(PlatformListFolder(folder_.c_str(), 100, &entries));
  std::vector<std::pair<std::string, EntryKind>> listed;
  for (const FolderEntry& entry : entries) listed.emplace_back(entry.name, entry.kind);
  std::sort(listed.begin(), listed.end());
  const std::vector<std::pair<std::string, EntryKind>> expected = {
      {"dangling link outside", EntryKind::Link},
      {"fifo", EntryKind::Other},
      {"folder", EntryKind::Folder},
      {"link to a file outside", EntryKind::Link},
      {"link to a folder outside", EntryKind::Link},
      {"regular file", EntryKind::Regular},
  };
  EXPECT_EQ(listed, expected);

  ASSERT_TRUE(PlatformListFolder(folder_.c_str(), 4, &entries));
  EXPECT_EQ(entries.size(), 4u);
  EXPECT_FALSE(PlatformListFolder((folder_ / "missing").c_str(), 100, &entries));
  EXPECT_TRUE(entries.empty());
  EXPECT_FALSE(PlatformListFolder((folder_ / "regular file").c_str(), 100, &entries));
  EXPECT_FALSE(PlatformListFolder("", 100, &entries));
}

}  // namespace
