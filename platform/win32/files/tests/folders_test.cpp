#include <windows.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "host/files.h"
#include "platform/win32/files/tests/file_helpers.h"
#include "records/settings.h"

namespace {

namespace fs = std::filesystem;

TEST(FoldersTest, ExecutableFolderHoldsThisProgram) {
  const std::string folder = PlatformExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), '\\');
  EXPECT_TRUE(fs::exists(FromUtf8(folder) / "tavro_files_test.exe")) << folder;
}

// %APPDATA%\TAVRO\TAVRO.INI in UTF-8, whatever the folder's name; without
// APPDATA, the roaming application data folder the system knows.
TEST(FoldersTest, SettingsFileIsInAppData) {
  wchar_t saved[32768];
  const DWORD savedLength = ::GetEnvironmentVariableW(L"APPDATA", saved, 32768);
  struct Case {
    const wchar_t* appData;
    const char* expected;
  };
  const Case cases[] = {
      {L"C:\\Users\\\u592A\u90CE\\AppData\\Roaming",
       "C:\\Users\\\xE5\xA4\xAA\xE9\x83\x8E\\AppData\\Roaming\\TAVRO\\TAVRO.INI"},
      {L"D:\\data\\", "D:\\data\\TAVRO\\TAVRO.INI"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(::SetEnvironmentVariableW(L"APPDATA", c.appData));
    EXPECT_EQ(DefaultSettingsFilePath(), c.expected);
  }
  ASSERT_TRUE(::SetEnvironmentVariableW(L"APPDATA", nullptr));
  const std::string fallback = DefaultSettingsFilePath();
  EXPECT_TRUE(fallback.size() > 20 && fallback.ends_with("\\TAVRO\\TAVRO.INI")) << fallback;
  ::SetEnvironmentVariableW(L"APPDATA", savedLength > 0 ? saved : nullptr);
}

}  // namespace
