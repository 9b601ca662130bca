#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/files/tests/file_helpers.h"

#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;

bool Write(const fs::path& path, const std::string& text) {
  return PlatformWriteFileAtomically(path.c_str(), text.data(), text.size());
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

}  // namespace
