#include <windows.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "host/files.h"
#include "platform/win32/files/tests/file_helpers.h"

namespace {

namespace fs = std::filesystem;

bool Write(const fs::path& path, const std::string& text) {
  return PlatformWriteFileAtomically(Utf8(path).c_str(), text.data(), text.size());
}

// A symbolic link, where the user may make one and the file system keeps it
// (Wine's CreateSymbolicLinkW makes nothing and says yes).
bool MakeSymbolicLink(const fs::path& link, const fs::path& target) {
  return ::CreateSymbolicLinkW(link.c_str(), target.c_str(), 0) &&
         ::GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class WriteFileAtomicallyTest : public ScratchFolderTest {};

// UTF-8 names, missing folders on the way, both separators; replacing
// leaves no temporary file behind.
TEST_F(WriteFileAtomicallyTest, CreatesAndReplacesUnderUtf8Names) {
  const fs::path file = folder_ / FromUtf8("設定") / "sub" / "TAVRO.INI";
  ASSERT_TRUE(Write(file, "first"));
  EXPECT_EQ(ReadFile(file), "first");
  ASSERT_TRUE(Write(file, "second, longer"));
  EXPECT_EQ(ReadFile(file), "second, longer");
  const std::string slashes = Utf8(folder_) + "/" + "\xE8\xA8\xAD\xE5\xAE\x9A" + "/sub/TAVRO.INI";
  ASSERT_TRUE(PlatformWriteFileAtomically(slashes.c_str(), "", 0));
  EXPECT_EQ(ReadFile(file), "");
  EXPECT_EQ(CountEntries(file.parent_path()), 1);
  EXPECT_FALSE(PlatformWriteFileAtomically((Utf8(folder_) + "\\bad\xFF.ini").c_str(), "x", 1));
}

// Nothing but a regular file the user may write is replaced: the old thing
// stays as it was and no temporary file is left.
TEST_F(WriteFileAtomicallyTest, RefusesWhatItMayNotReplace) {
  WriteFile(folder_ / "read-only", "old");
  fs::permissions(folder_ / "read-only", fs::perms::owner_write, fs::perm_options::remove);
  ASSERT_NE(::GetFileAttributesW((folder_ / "read-only").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  fs::create_directories(folder_ / "folder" / "inner");
  WriteFile(folder_ / "locked", "old");
  const HANDLE locked = ::CreateFileW((folder_ / "locked").c_str(), GENERIC_READ, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  WriteFile(folder_ / "plain", "old");
  const int entries = CountEntries(folder_);
  for (const char* name : {"read-only", "folder", "locked", "plain/TAVRO.INI", "NUL", "con.ini",
                           "COM1", "TAVRO.INI:stream", "..", ""}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(Write(folder_ / name, "new"));
  }
  EXPECT_FALSE(PlatformWriteFileAtomically("\\\\.\\pipe\\tavro", "x", 1));
  EXPECT_FALSE(PlatformWriteFileAtomically(nullptr, "x", 1));
  EXPECT_FALSE(PlatformWriteFileAtomically("", "x", 1));
  EXPECT_FALSE(PlatformWriteFileAtomically(Utf8(folder_ / "f").c_str(), nullptr, 1));
  ::CloseHandle(locked);
  EXPECT_EQ(ReadFile(folder_ / "read-only"), "old");
  EXPECT_EQ(ReadFile(folder_ / "locked"), "old");
  EXPECT_TRUE(fs::is_directory(folder_ / "folder" / "inner"));
  EXPECT_EQ(CountEntries(folder_), entries);
}

// What an interrupted save left under the temporary name is reused or
// removed; a file it is a hard link to is never written.
TEST_F(WriteFileAtomicallyTest, LeftoverTemporaryFileIsReusedNotFollowed) {
  const fs::path file = folder_ / "TAVRO.INI";
  const fs::path temp = folder_ / ".TAVRO.INI.tmp";
  const fs::path victim = folder_ / "victim";
  for (const std::string kind : {"stale file", "read-only file", "hard link", "symbolic link"}) {
    SCOPED_TRACE(kind);
    WriteFile(victim, "untouched");
    if (kind == "stale file") WriteFile(temp, std::string(10000, 's'));
    if (kind == "read-only file") {
      WriteFile(temp, "stale");
      fs::permissions(temp, fs::perms::owner_write, fs::perm_options::remove);
    }
    if (kind == "hard link") fs::create_hard_link(victim, temp);
    if (kind == "symbolic link" && !MakeSymbolicLink(temp, victim)) continue;
    ASSERT_TRUE(Write(file, "fresh"));
    EXPECT_EQ(ReadFile(file), "fresh");
    EXPECT_EQ(ReadFile(victim), "untouched");
    EXPECT_FALSE(fs::exists(fs::symlink_status(temp)));
    EXPECT_EQ(CountEntries(folder_), 2);
  }
  fs::create_directories(temp / "inner");  // not removable: the save fails
  EXPECT_FALSE(Write(file, "new"));
  EXPECT_EQ(ReadFile(file), "fresh");
}

// Saves of one file from several threads at once wait for each other: a
// reader only ever sees one of the contents whole, and no save fails.
TEST_F(WriteFileAtomicallyTest, ConcurrentSavesLeaveOneWholeFile) {
  const fs::path file = folder_ / "TAVRO.INI";
  const std::string contents[2] = {std::string(1 << 20, 'a'), std::string(700 << 10, 'b')};
  ASSERT_TRUE(Write(file, contents[0]));
  std::atomic<int> failures{0};
  std::vector<std::thread> savers;
  for (int i = 0; i < 2; ++i) {
    savers.emplace_back([&, i] {
      for (int round = 0; round < 15; ++round) {
        if (!Write(file, contents[i])) ++failures;
      }
    });
  }
  int torn = 0;
  for (int read = 0; read < 30; ++read) {
    // read as the program reads, sharing deletion so as not to hold saves up
    OpenFailure failure = OpenFailure::None;
    std::FILE* stream = PlatformOpenForReading(Utf8(file).c_str(), 2 << 20, &failure);
    if (stream == nullptr) {
      ADD_FAILURE() << "no file to read: " << static_cast<int>(failure);
      continue;
    }
    std::string now(2 << 20, '\0');
    now.resize(std::fread(now.data(), 1, now.size(), stream));
    std::fclose(stream);
    if (now != contents[0] && now != contents[1]) ++torn;
  }
  for (std::thread& saver : savers) saver.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(CountEntries(folder_), 1);
}

// A link is followed to its target, and stays a link.
TEST_F(WriteFileAtomicallyTest, ReplacesLinkTargetAndKeepsLink) {
  const fs::path target = folder_ / "real.ini";
  const fs::path link = folder_ / "TAVRO.INI";
  WriteFile(target, "old");
  if (!MakeSymbolicLink(link, target)) GTEST_SKIP() << "no symbolic links here";
  ASSERT_TRUE(Write(link, "new"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFile(target), "new");
  fs::remove(target);
  EXPECT_FALSE(Write(link, "x"));  // dangling: nothing to follow to
}

}  // namespace
