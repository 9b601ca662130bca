#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/posix/tests/file_helpers.h"

#include "host/files.h"
#include "host/tests/open_for_reading_check.h"

namespace {

namespace fs = std::filesystem;

constexpr unsigned long long kCap = 16ull << 20;

// Every kind of thing a path can name, each either opened and read whole or
// refused at once for the right reason; none blocks or reads without end.
TEST(OpenForReadingTest, OnlyBoundedRegularFilesOpen) {
  const fs::path folder = fs::path(::testing::TempDir()) / "tavro_open_for_reading_test";
  fs::remove_all(folder);
  fs::create_directories(folder);
  WriteFile(folder / "file", "0123456789abcdef");  // 16 bytes
  ASSERT_TRUE(MakeFifo(folder / "fifo"));
  fs::create_symlink("fifo", folder / "fifo-link");
  fs::create_directories(folder / "folder");
  ASSERT_TRUE(MakeSocketFile(folder / "socket"));
  fs::create_symlink("/dev/zero", folder / "zero-link");
  fs::create_symlink("/dev/null", folder / "null-link");
  fs::create_symlink("nothing", folder / "dangling");
  // a sparse file just over the limit: its length is set, nothing is written
  WriteFile(folder / "sparse", "");
  fs::resize_file(folder / "sparse", kCap + 1);
  const bool root = RunningAsRoot();
  if (root) {
    ASSERT_TRUE(MakeDeviceNode(folder / "device"));
  }

  struct Case {
    const char* name;
    unsigned long long cap;
    OpenFailure expected;
  };
  const Case cases[] = {
      {"file", kCap, OpenFailure::None},
      {"file", 16, OpenFailure::None},
      {"file", 15, OpenFailure::TooLarge},
      {"sparse", kCap, OpenFailure::TooLarge},
      {"fifo", kCap, OpenFailure::NotRegular},
      {"fifo-link", kCap, OpenFailure::NotRegular},
      {"folder", kCap, OpenFailure::NotRegular},
      {"socket", kCap, OpenFailure::NotRegular},
      {"zero-link", kCap, OpenFailure::NotRegular},
      {"null-link", kCap, OpenFailure::NotRegular},
      {"device", kCap, OpenFailure::NotRegular},
      {"missing", kCap, OpenFailure::Missing},
      {"dangling", kCap, OpenFailure::Missing},
      {"file/below", kCap, OpenFailure::Missing},
  };
  for (const Case& c : cases) {
    if (std::strcmp(c.name, "device") == 0 && !root) continue;  // mknod needs root
    SCOPED_TRACE(std::string(c.name) + " with limit " + std::to_string(c.cap));
    ExpectOpenResult((folder / c.name).c_str(), c.cap, c.expected);
  }
  EXPECT_EQ(PlatformOpenForReading("", kCap, nullptr), nullptr);
  fs::remove_all(folder);
}

}  // namespace
