#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix/tests/file_helpers.h"

#include "host/files.h"

namespace {

namespace fs = std::filesystem;

bool Write(const fs::path& path, const std::string& text) {
  return PlatformWriteFileAtomically(path.c_str(), text.data(), text.size());
}

// The kind of thing at path, links not followed; 0 for nothing.
mode_t KindAt(const fs::path& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0 ? (info.st_mode & S_IFMT) : 0;
}

int CountEntries(const fs::path& folder) {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++count;
  return count;
}

class WriteFileAtomicallyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::path(::testing::TempDir()) / "tavro_files_test" / info->name();
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(folder_, ignored);
  }
  fs::path folder_;
};

TEST_F(WriteFileAtomicallyTest, CreatesAndReplaces) {
  const fs::path file = folder_ / "TAVRO.INI";
  ASSERT_TRUE(Write(file, "first"));
  EXPECT_EQ(ReadFile(file), "first");
  ASSERT_TRUE(Write(file, "second, longer"));
  EXPECT_EQ(ReadFile(file), "second, longer");
  ASSERT_TRUE(Write(file, ""));
  EXPECT_EQ(ReadFile(file), "");
  EXPECT_EQ(CountEntries(folder_), 1);  // no temporary file left behind
}

TEST_F(WriteFileAtomicallyTest, CreatesMissingFolders) {
  const fs::path file = folder_ / "config" / "tavro" / "TAVRO.INI";
  ASSERT_TRUE(Write(file, "x=1\n"));
  EXPECT_EQ(ReadFile(file), "x=1\n");
}

TEST_F(WriteFileAtomicallyTest, KeepsPermissionsOfReplacedFile) {
  const fs::path file = folder_ / "TAVRO.INI";
  WriteFile(file, "old");
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(Write(file, "new"));
  EXPECT_EQ(fs::status(file).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(WriteFileAtomicallyTest, ReplacesLinkTargetAndKeepsLink) {
  const fs::path target = folder_ / "real.ini";
  const fs::path link = folder_ / "TAVRO.INI";
  WriteFile(target, "old");
  fs::create_symlink(target, link);
  ASSERT_TRUE(Write(link, "new"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFile(target), "new");
}

TEST_F(WriteFileAtomicallyTest, StaleTemporaryFilesDoNotMatter) {
  const fs::path file = folder_ / "TAVRO.INI";
  WriteFile(folder_ / ".TAVRO.INI.XXXXXX", "stale");
  WriteFile(folder_ / ".TAVRO.INI.abc123", "stale");
  ASSERT_TRUE(Write(file, "fresh"));
  EXPECT_EQ(ReadFile(file), "fresh");
}

TEST_F(WriteFileAtomicallyTest, ParentThatIsAFileFails) {
  WriteFile(folder_ / "plain", "data");
  EXPECT_FALSE(Write(folder_ / "plain" / "TAVRO.INI", "x"));
  EXPECT_FALSE(Write(folder_ / "plain" / "sub" / "TAVRO.INI", "x"));
  EXPECT_EQ(ReadFile(folder_ / "plain"), "data");
}

TEST_F(WriteFileAtomicallyTest, BadArgumentsFail) {
  EXPECT_FALSE(PlatformWriteFileAtomically(nullptr, "x", 1));
  EXPECT_FALSE(PlatformWriteFileAtomically("", "x", 1));
  EXPECT_FALSE(PlatformWriteFileAtomically((folder_ / "f").c_str(), nullptr, 1));
  EXPECT_FALSE(Write(folder_.string() + "/", "x"));
  EXPECT_FALSE(Write(folder_ / "..", "x"));
  EXPECT_TRUE(PlatformWriteFileAtomically((folder_ / "empty").c_str(), nullptr, 0));
}

TEST_F(WriteFileAtomicallyTest, TargetThatIsAFolderFailsAndCleansUp) {
  fs::create_directories(folder_ / "TAVRO.INI" / "inner");
  EXPECT_FALSE(Write(folder_ / "TAVRO.INI", "x"));
  EXPECT_TRUE(fs::is_directory(folder_ / "TAVRO.INI" / "inner"));
  EXPECT_EQ(CountEntries(folder_), 1);
}

TEST_F(WriteFileAtomicallyTest, ReadOnlyFolderFailsAndKeepsOldFile) {
  const fs::path file = folder_ / "TAVRO.INI";
  WriteFile(file, "old contents");
  fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
  if (::access(folder_.c_str(), W_OK) == 0) GTEST_SKIP() << "folders stay writable for this user";
  EXPECT_FALSE(Write(file, "new contents"));
  EXPECT_EQ(ReadFile(file), "old contents");
}

// A write cut short (here by the file size limit, as on a full disk) leaves
// the old file whole and no temporary file behind.
TEST_F(WriteFileAtomicallyTest, FailedWriteKeepsOldFile) {
  const fs::path file = folder_ / "TAVRO.INI";
  WriteFile(file, "old contents");
  rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 100;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = Write(file, std::string(5000, 'n'));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(written);
  EXPECT_EQ(ReadFile(file), "old contents");
  EXPECT_EQ(CountEntries(folder_), 1);
}

// Nothing but a regular file is replaced: a device, FIFO, socket or folder,
// named directly or through a link, stays as it was and the save fails.
TEST_F(WriteFileAtomicallyTest, RefusesWhatIsNotARegularFile) {
  ASSERT_TRUE(MakeFifo(folder_ / "fifo"));
  fs::create_directories(folder_ / "folder");
  ASSERT_TRUE(MakeSocketFile(folder_ / "socket"));
  std::vector<std::string> names = {"fifo", "folder", "socket"};
  if (RunningAsRoot()) {
    ASSERT_TRUE(MakeDeviceNode(folder_ / "device"));
    names.push_back("device");
  }
  const std::size_t direct = names.size();
  for (std::size_t i = 0; i < direct; ++i) {
    fs::create_symlink(names[i], folder_ / (names[i] + "-link"));
    names.push_back(names[i] + "-link");
  }
  const int entries = CountEntries(folder_);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const mode_t kind = KindAt(folder_ / name);
    EXPECT_FALSE(Write(folder_ / name, "x"));
    EXPECT_EQ(KindAt(folder_ / name), kind);
  }
  EXPECT_EQ(KindAt(folder_ / "device-link"), RunningAsRoot() ? S_IFLNK : 0);
  EXPECT_EQ(CountEntries(folder_), entries);  // nothing created, nothing left
}

// A link whose target does not exist yet gets the target, and stays a link.
TEST_F(WriteFileAtomicallyTest, DanglingLinkGetsItsTargetCreated) {
  fs::create_directories(folder_ / "sub");
  struct Case {
    const char* link;
    std::string pointsTo;
    const char* created;
  };
  const Case cases[] = {
      {"absolute", (folder_ / "sub" / "a.ini").string(), "sub/a.ini"},
      {"relative", "sub/r.ini", "sub/r.ini"},
      {"chain", "relative2", "sub/c.ini"},
  };
  fs::create_symlink("sub/c.ini", folder_ / "relative2");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    fs::create_symlink(c.pointsTo, folder_ / c.link);
    ASSERT_TRUE(Write(folder_ / c.link, c.link));
    EXPECT_TRUE(fs::is_symlink(folder_ / c.link));
    EXPECT_EQ(KindAt(folder_ / c.created), S_IFREG);
    EXPECT_EQ(ReadFile(folder_ / c.created), c.link);
  }
  fs::create_symlink("loop", folder_ / "loop");
  EXPECT_FALSE(Write(folder_ / "loop", "x"));
  EXPECT_TRUE(fs::is_symlink(folder_ / "loop"));
}

// A file its user may not write is not replaced, although the folder would
// allow the rename; as root the save runs as the user nobody.
TEST_F(WriteFileAtomicallyTest, ReadOnlyFileIsNotReplaced) {
  const bool root = RunningAsRoot();
  const uid_t nobody = 65534;
  fs::permissions(folder_, fs::perms::all);  // anyone may create and rename here
  struct Case {
    const char* name;
    uid_t owner;  // when root
    fs::perms perms;
  };
  const Case cases[] = {
      {"own read-only", nobody, fs::perms::owner_read | fs::perms::group_read},
      {"someone else's", 0, fs::perms::owner_read | fs::perms::owner_write},
  };
  for (const Case& c : cases) {
    if (!root && c.owner == 0) continue;  // needs a second user
    SCOPED_TRACE(c.name);
    const fs::path file = folder_ / c.name;
    WriteFile(file, "old contents");
    if (root) {
      ASSERT_EQ(::chown(file.c_str(), c.owner, c.owner), 0);
    }
    fs::permissions(file, c.perms);
    struct stat before;
    ASSERT_EQ(::stat(file.c_str(), &before), 0);

    bool written = true;
    if (root) {
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        if (::setgid(nobody) != 0 || ::setuid(nobody) != 0) ::_exit(2);
        ::_exit(Write(file, "new contents") ? 1 : 0);
      }
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 2);
      written = WEXITSTATUS(status) == 1;
    } else {
      written = Write(file, "new contents");
    }
    EXPECT_FALSE(written);
    struct stat after;
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(ReadFile(file), "old contents");
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_mode, before.st_mode);
  }
  EXPECT_EQ(CountEntries(folder_), root ? 2 : 1);
}

TEST_F(WriteFileAtomicallyTest, RootKeepsTheOwnerOfTheReplacedFile) {
  if (!RunningAsRoot()) GTEST_SKIP() << "only root may give a file to another user";
  const fs::path file = folder_ / "TAVRO.INI";
  WriteFile(file, "old");
  ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
  ASSERT_TRUE(Write(file, "new"));
  struct stat info;
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 65534u);
  EXPECT_EQ(info.st_gid, 65534u);
}

// What an interrupted save left under the temporary name is reused or
// removed; a file that name links to is never written.
TEST_F(WriteFileAtomicallyTest, LeftoverTemporaryFileIsReusedNotFollowed) {
  const fs::path file = folder_ / "TAVRO.INI";
  const fs::path temp = folder_ / ".TAVRO.INI.tmp";
  const fs::path victim = folder_ / "victim";
  for (const char* kind : {"stale file", "symbolic link", "hard link", "fifo"}) {
    SCOPED_TRACE(kind);
    WriteFile(victim, "untouched");
    const std::string k = kind;
    if (k == "stale file") WriteFile(temp, std::string(10000, 's'));
    if (k == "symbolic link") fs::create_symlink(victim, temp);
    if (k == "hard link") fs::create_hard_link(victim, temp);
    if (k == "fifo") {
      ASSERT_TRUE(MakeFifo(temp));
    }
    ASSERT_TRUE(Write(file, "fresh"));
    EXPECT_EQ(ReadFile(file), "fresh");
    EXPECT_EQ(ReadFile(victim), "untouched");
    EXPECT_EQ(KindAt(temp), 0);
    EXPECT_EQ(CountEntries(folder_), 2);
  }
}

// Two processes save large files over each other and are killed at random
// moments: the file is always one of the two whole, and at most one
// temporary file is left beside it.
TEST_F(WriteFileAtomicallyTest, KilledConcurrentSavesLeaveOneWholeFile) {
  const fs::path file = folder_ / "TAVRO.INI";
  const std::string contents[2] = {std::string(4 << 20, 'a'), std::string(3 << 20, 'b')};
  ASSERT_TRUE(Write(file, contents[0]));
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  for (int round = 0; round < 5; ++round) {
    pid_t children[2];
    for (int i = 0; i < 2; ++i) {
      children[i] = ::fork();
      ASSERT_GE(children[i], 0);
      if (children[i] == 0) {
        for (;;) Write(file, contents[i]);
      }
    }
    const timespec pause = {0, (20 + std::rand() % 80) * 1'000'000L};
    ::nanosleep(&pause, nullptr);
    for (pid_t child : children) {
      ::kill(child, SIGKILL);
      ::waitpid(child, nullptr, 0);
    }
    const std::string now = ReadFile(file);
    EXPECT_TRUE(now == contents[0] || now == contents[1]) << "round " << round;
    EXPECT_LE(CountEntries(folder_), 2) << "round " << round;
  }
  ASSERT_TRUE(Write(file, "done"));
  EXPECT_EQ(CountEntries(folder_), 1);
}

}  // namespace
