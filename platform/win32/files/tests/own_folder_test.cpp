// The calls for a folder the program keeps as its own (the replays): writing,
// reading, removing and listing take only regular files and never follow a
// link. Wine makes no symbolic links, so those cases run on Windows only.
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "host/files.h"
#include "host/own_folder.h"
#include "platform/win32/files/tests/file_helpers.h"

namespace {

namespace fs = std::filesystem;

class OwnFolderTest : public ScratchFolderTest {
 protected:
  // What the case puts at path; false when this system cannot make it.
  bool Make(const std::string& kind, const fs::path& at) {
    if (kind == "regular file") WriteFile(at, "old");
    if (kind == "read-only file") {
      WriteFile(at, "old");
      ::SetFileAttributesW(at.c_str(), FILE_ATTRIBUTE_READONLY);
    }
    if (kind == "folder") fs::create_directory(at);
    if (kind == "link to a file outside") return MakeLink(at, outside() / "victim", 0);
    if (kind == "dangling link") return MakeLink(at, outside() / "created", 0);
    if (kind == "link to a folder outside") {
      return MakeLink(at, outside(), SYMBOLIC_LINK_FLAG_DIRECTORY);
    }
    return true;
  }
  fs::path outside() const { return folder_ / "outside"; }

  // A symbolic link, where the user may make one and the file system keeps
  // it (Wine's CreateSymbolicLinkW makes nothing and says yes).
  static bool MakeLink(const fs::path& link, const fs::path& target, DWORD flags) {
    return ::CreateSymbolicLinkW(link.c_str(), target.c_str(), flags) &&
           ::GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
};

// Each kind of thing standing at the name, written over with either mode:
// only a regular file the user may write is replaced, nothing outside is
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
      {"read-only file", WriteFailure::Exists, WriteFailure::Failed},
      {"folder", WriteFailure::Exists, WriteFailure::NotRegular},
      {"link to a file outside", WriteFailure::Exists, WriteFailure::NotRegular},
      {"dangling link", WriteFailure::Exists, WriteFailure::NotRegular},
      {"link to a folder outside", WriteFailure::Exists, WriteFailure::NotRegular},
  };
  const fs::path replays = folder_ / FromUtf8("リプレイ");
  for (const Case& c : cases) {
    for (const WriteMode mode : {WriteMode::CreateNew, WriteMode::ReplaceRegular}) {
      const bool creating = mode == WriteMode::CreateNew;
      SCOPED_TRACE(std::string(c.standing) + (creating ? ", create new" : ", replace"));
      for (const fs::path& folder : {replays, outside()}) {
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(folder, ignored)) {
          ::SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        fs::remove_all(folder);
        fs::create_directories(folder);
      }
      WriteFile(outside() / "victim", "untouched");
      const fs::path file = replays / "20260101-120000-best-0.tavroreplay";
      if (!Make(c.standing, file)) continue;
      const WriteFailure expected = creating ? c.createNew : c.replace;
      EXPECT_EQ(PlatformWriteRegularFile(Utf8(file).c_str(), "new", 3, mode), expected);
      if (expected == WriteFailure::None) {
        EXPECT_TRUE(fs::is_regular_file(file));
        EXPECT_EQ(ReadFile(file), "new");
      } else if (std::string(c.standing).find("file") != std::string::npos) {
        EXPECT_EQ(ReadFile(file),
                  std::string(c.standing).find("link") == std::string::npos ? "old" : "untouched");
      }
      EXPECT_EQ(ReadFile(outside() / "victim"), "untouched");
      EXPECT_FALSE(fs::exists(outside() / "created"));
      EXPECT_EQ(CountEntries(replays), 1);
      EXPECT_EQ(CountEntries(outside()), 1);
    }
  }
  EXPECT_EQ(PlatformWriteRegularFile((Utf8(folder_) + "\\NUL").c_str(), "x", 1,
                                     WriteMode::ReplaceRegular),
            WriteFailure::Failed);
  EXPECT_EQ(PlatformWriteRegularFile("", "x", 1, WriteMode::CreateNew), WriteFailure::Failed);
}

// Many writers of one new name at once: exactly one takes it, the others are
// told it exists, and the file holds the winner's bytes whole.
TEST_F(OwnFolderTest, ConcurrentCreatorsOfOneNameHaveOneWinner) {
  const std::string file = Utf8(folder_) + "\\same-second.tavroreplay";
  constexpr int kWriters = 6;
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
  EXPECT_EQ(std::count(results.begin(), results.end(), WriteFailure::None), 1);
  EXPECT_EQ(std::count(results.begin(), results.end(), WriteFailure::Exists), kWriters - 1);
  const auto winner = std::find(results.begin(), results.end(), WriteFailure::None);
  ASSERT_NE(winner, results.end());
  EXPECT_EQ(ReadFile(FromUtf8(file)), texts[winner - results.begin()]);
  EXPECT_EQ(CountEntries(folder_), 1);
}

// Reading, removing and listing take each kind as the folder holds it.
TEST_F(OwnFolderTest, ReadsRemovesAndListsOnlyRegularFiles) {
  struct Case {
    const char* standing;
    OpenFailure read;
    bool removed;
    EntryKind kind;
  };
  const Case cases[] = {
      {"regular file", OpenFailure::None, true, EntryKind::Regular},
      {"folder", OpenFailure::NotRegular, false, EntryKind::Folder},
      {"link to a file outside", OpenFailure::NotRegular, false, EntryKind::Link},
      {"dangling link", OpenFailure::NotRegular, false, EntryKind::Link},
      {"link to a folder outside", OpenFailure::NotRegular, false, EntryKind::Link},
  };
  const fs::path replays = folder_ / "replays";
  fs::create_directories(replays);
  fs::create_directories(outside());
  WriteFile(outside() / "victim", "untouched");
  std::vector<std::pair<std::string, EntryKind>> expected;
  for (const Case& c : cases) {
    if (Make(c.standing, replays / c.standing)) expected.emplace_back(c.standing, c.kind);
  }
  WriteFile(replays / FromUtf8("名前.tavroreplay"), "x");
  expected.emplace_back("\xE5\x90\x8D\xE5\x89\x8D.tavroreplay", EntryKind::Regular);
  std::sort(expected.begin(), expected.end());

  std::vector<FolderEntry> entries;
  ASSERT_TRUE(PlatformListFolder(Utf8(replays).c_str(), 100, &entries));
  std::vector<std::pair<std::string, EntryKind>> listed;
  for (const FolderEntry& entry : entries) listed.emplace_back(entry.name, entry.kind);
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, expected);
  ASSERT_TRUE(PlatformListFolder((Utf8(replays) + "/").c_str(), 2, &entries));
  EXPECT_EQ(entries.size(), 2u);
  EXPECT_FALSE(PlatformListFolder((Utf8(replays) + "\\missing").c_str(), 100, &entries));
  EXPECT_TRUE(entries.empty());
  EXPECT_FALSE(PlatformListFolder((Utf8(outside()) + "\\victim").c_str(), 100, &entries));

  for (const Case& c : cases) {
    const fs::path path = replays / c.standing;
    if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;  // not made here
    SCOPED_TRACE(c.standing);
    OpenFailure failure = OpenFailure::Failed;
    std::FILE* stream = PlatformOpenRegularForReading(Utf8(path).c_str(), 100, &failure);
    EXPECT_EQ(failure, c.read);
    if (stream != nullptr) std::fclose(stream);
    EXPECT_EQ(PlatformRemoveRegularFile(Utf8(path).c_str()), c.removed);
    EXPECT_EQ(::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES, c.removed);
  }
  EXPECT_FALSE(PlatformRemoveRegularFile((Utf8(replays) + "\\missing").c_str()));
  EXPECT_FALSE(PlatformRemoveRegularFile("NUL"));
  EXPECT_EQ(ReadFile(outside() / "victim"), "untouched");
}

}  // namespace
