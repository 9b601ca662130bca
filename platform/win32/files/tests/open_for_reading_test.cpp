#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "host/files.h"
#include "host/tests/open_for_reading_check.h"
#include "platform/win32/files/tests/file_helpers.h"

namespace {

namespace fs = std::filesystem;

constexpr unsigned long long kCap = 16ull << 20;

class OpenForReadingTest : public ScratchFolderTest {};

// Every kind of thing a path can name, each either opened and read whole or
// refused at once for the right reason.
TEST_F(OpenForReadingTest, OnlyBoundedRegularFilesOpen) {
  WriteFile(folder_ / "file", "0123456789abcdef");  // 16 bytes
  WriteFile(folder_ / FromUtf8("名前.ini"), "0123456789abcdef");
  fs::create_directories(folder_ / "folder");
  WriteFile(folder_ / "sparse", "");
  fs::resize_file(folder_ / "sparse", (1ull << 32) + 1);  // past 32 bits
  struct Case {
    std::string path;
    unsigned long long cap;
    OpenFailure expected;
  };
  const std::string in = Utf8(folder_) + "\\";
  const Case cases[] = {
      {in + "file", kCap, OpenFailure::None},
      {in + "file", 16, OpenFailure::None},
      {in + "file", 15, OpenFailure::TooLarge},
      {in + "\xE5\x90\x8D\xE5\x89\x8D.ini", kCap, OpenFailure::None},
      {in + "sparse", kCap, OpenFailure::TooLarge},
      {in + "folder", kCap, OpenFailure::NotRegular},
      {in + "NUL", kCap, OpenFailure::NotRegular},
      {in + "con.wav", kCap, OpenFailure::NotRegular},
      {"CONIN$", kCap, OpenFailure::NotRegular},
      {"\\\\.\\PhysicalDrive0", kCap, OpenFailure::NotRegular},
      {in + "missing", kCap, OpenFailure::Missing},
      {in + "file\\below", kCap, OpenFailure::Missing},
      {in + "bad\xFF", kCap, OpenFailure::Missing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " with limit " + std::to_string(c.cap));
    ExpectOpenResult(c.path.c_str(), c.cap, c.expected);
  }
  EXPECT_EQ(PlatformOpenForReading("", kCap, nullptr), nullptr);
}

// A named pipe is refused without connecting to it: its server still waits
// for its first client.
TEST(OpenForReadingPipeTest, NamedPipeIsNotConnected) {
  const wchar_t* name = L"\\\\.\\pipe\\tavro_open_for_reading_test";
  const HANDLE server = ::CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_NOWAIT,
                                           1, 64, 64, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  OpenFailure failure = OpenFailure::None;
  EXPECT_EQ(PlatformOpenForReading("\\\\.\\pipe\\tavro_open_for_reading_test", kCap, &failure),
            nullptr);
  EXPECT_EQ(failure, OpenFailure::NotRegular);
  EXPECT_FALSE(::ConnectNamedPipe(server, nullptr));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PIPE_LISTENING));
  ::CloseHandle(server);
}

}  // namespace
