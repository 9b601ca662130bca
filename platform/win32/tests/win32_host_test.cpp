// The Windows host's own rules: the playfield's scale, text conversion and
// the move of the old program's settings file. Run under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "host/mixer.h"
#include "host/named_mutex.h"
#include "platform/win32/dialog_layout.h"
#include "platform/win32/playfield_scale.h"
#include "platform/win32/settings_location.h"
#include "platform/win32/text.h"
#include "res/win32/resource.h"

namespace tavro_win32 {
namespace {

TEST(PlayfieldScale, LargestWholeScaleThatFitsTheWorkArea) {
  struct Case {
    int workWidth, workHeight, chromeWidth, chromeHeight, scale;
  };
  const Case cases[] = {
      {1920, 1040, 16, 59, 1},  // 1024 + 59 rows do not fit
      {1920, 1083, 16, 59, 2},  // exactly fits
      {1920, 1082, 16, 59, 1},  // one row short
      {3840, 2100, 32, 118, 3},
      {640, 480, 16, 59, 1},  // smaller than the playfield: never below 1
      {100000, 100000, 0, 0, 64},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseScale(c.workWidth, c.workHeight, c.chromeWidth, c.chromeHeight), c.scale)
        << c.workWidth << "x" << c.workHeight;
  }
  EXPECT_EQ(GameCoordinate(0, 3), 0);
  EXPECT_EQ(GameCoordinate(1535, 3), 511);
  EXPECT_EQ(GameCoordinate(1533, 3), 511);
  EXPECT_EQ(GameCoordinate(1532, 3), 510);
}

TEST(Text, Utf8AndUtf16RoundTripAndAnsiConversion) {
  const std::string name = "隕石撃ち 𠮷 TAVRO";
  EXPECT_EQ(Narrow(Widen(name)), name);
  EXPECT_EQ(Widen("\xff"), std::wstring(1, L'\xfffd'));
  // "太郎" in Shift-JIS (code page 932).
  EXPECT_EQ(CodePageToUtf8("\x91\xbe\x98\x59 1", 932), "太郎 1");
}

// An older file's text: UTF-8 kept, else strict Shift-JIS, else the
// fallback code page (1252 here, as on a Western system).
TEST(Text, LegacyTextIsUtf8ThenShiftJisThenTheAnsiCodePage) {
  struct Case {
    const char* bytes;
    const char* utf8;
    const char* what;
  };
  const Case cases[] = {
      {"", "", "empty"},
      {"Name1=\"TAVRO\"\r\n", "Name1=\"TAVRO\"\r\n", "ASCII"},
      // 0x5C (a backslash in ASCII) as the trail byte of ソ and 表, also
      // right before the quote and the line end.
      {"Name1=\"\x83\x5c\x95\x5c\"\r\nName2=\x83\x5c\r\n", "Name1=\"ソ表\"\r\nName2=ソ\r\n",
       "Shift-JIS with 5C trail bytes"},
      {"\x8eR\x93\x63\x91\xbe\x98\x59 \xc3\xb1\xdd", "山田太郎 ﾃｱﾝ", "Shift-JIS kanji and kana"},
      // "あい" in UTF-8 is also well-formed Shift-JIS ("縺ゅ＞"): UTF-8 wins.
      {"\xe3\x81\x82\xe3\x81\x84", "あい", "UTF-8 that reads as Shift-JIS"},
      {"Name1=\"山田 表ソ\"", "Name1=\"山田 表ソ\"", "UTF-8"},
      // A lead byte at the end, and a lead byte with a trail Shift-JIS lacks.
      {"Caf\xe9", "Café", "code page 1252, cut pair"},
      {"M\xfcller \xe9t\xe9", "Müller été", "code page 1252, undefined pair"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LegacyTextToUtf8(c.bytes, 1252), c.utf8) << c.what;
  }
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(DialogLayout, TextsGrowAwayFromTheirAnchorAndTheDialogWidensAboutItsCentre) {
  struct Case {
    RECT rect;
    SIZE needed;
    DWORD style;
    RECT grown;
  };
  const Case cases[] = {
      {{10, 20, 110, 30}, {80, 8}, SS_CENTER, {10, 20, 110, 30}},  // fits: unchanged
      {{10, 20, 110, 30}, {130, 8}, SS_CENTER, {-5, 20, 125, 30}},
      {{10, 20, 110, 30}, {131, 8}, SS_CENTER, {-6, 20, 125, 30}},  // odd: half a pixel left
      {{10, 20, 110, 30}, {130, 8}, SS_LEFT, {10, 20, 140, 30}},
      {{10, 20, 110, 30}, {130, 8}, SS_RIGHT, {-20, 20, 110, 30}},
      {{10, 20, 110, 30}, {50, 14}, SS_CENTER, {10, 20, 110, 34}},  // taller: downwards
      {{10, 20, 110, 30}, {50, 14}, SS_CENTER | SS_CENTERIMAGE, {10, 18, 110, 32}},
  };
  for (const Case& c : cases) {
    const RECT r = GrowToFit(c.rect, c.needed, c.style);
    EXPECT_TRUE(SameRect(r, c.grown))
        << c.needed.cx << "x" << c.needed.cy << " style " << c.style << ": " << r.left << " "
        << r.top << " " << r.right << " " << r.bottom;
  }
  const SIZE client = {200, 100};
  const SIZE none = DialogGrowthFor({{6, 6, 194, 94}}, client, 6);
  EXPECT_EQ(none.cx, 0);
  EXPECT_EQ(none.cy, 0);
  // The wider overflow of the two sides counts for both; the bottom alone grows.
  const SIZE some =
      DialogGrowthFor({{-5, 10, 150, 20}, {20, 30, 197, 40}, {50, 80, 60, 99}}, client, 6);
  EXPECT_EQ(some.cx, 11);
  EXPECT_EQ(some.cy, 5);
}

// The about dialog from the program's resources, in the system's own fonts.
INT_PTR CALLBACK FittedDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG) return FALSE;
  FitStaticTexts(dialog);
  return TRUE;
}

RECT ClientRectOf(HWND dialog, HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

TEST(DialogLayout, AboutDialogShowsEveryTextWhole) {
  const HINSTANCE module = GetModuleHandleW(nullptr);
  HWND fitted =
      CreateDialogParamW(module, MAKEINTRESOURCEW(IDD_ABOUT), nullptr, FittedDialogProc, 0);
  // Wine makes no window without an X display (ctest runs this under xvfb-run).
  if (fitted == nullptr) GTEST_SKIP() << "no window could be made: " << GetLastError();
  EXPECT_EQ(CountCutStaticTexts(fitted), 0);

  // A line that outgrows the dialog (as in a wide font) gets its whole width
  // about its centre, and the dialog widens on both sides to hold it.
  HWND line = nullptr;
  for (HWND c = GetWindow(fitted, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t text[64] = {};
    GetWindowTextW(c, text, 64);
    if (std::wcsncmp(text, L"for Windows", 11) == 0) line = c;
  }
  ASSERT_NE(line, nullptr);
  RECT before = ClientRectOf(fitted, line);
  RECT dialogBefore;
  GetWindowRect(fitted, &dialogBefore);
  const LONG centre = (before.left + before.right) / 2;
  SetWindowTextW(
      line, (L"for Windows 2000/XP/Vista/7/8/8.1かそれ以降 " + std::wstring(40, L'W')).c_str());
  EXPECT_EQ(CountCutStaticTexts(fitted), 1);
  FitStaticTexts(fitted);
  EXPECT_EQ(CountCutStaticTexts(fitted), 0);
  RECT after = ClientRectOf(fitted, line);
  RECT dialogAfter;
  GetWindowRect(fitted, &dialogAfter);
  const LONG growth =
      (dialogAfter.right - dialogAfter.left - (dialogBefore.right - dialogBefore.left)) / 2;
  EXPECT_GT(growth, 0);
  EXPECT_LE(std::abs((after.left + after.right) / 2 - growth - centre), 1);
  DestroyWindow(fitted);
}

class Migration : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"tavro-migration-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder_.c_str(), nullptr);
  }
  void TearDown() override {
    for (const wchar_t* name : {L"\\old1.ini", L"\\old2.ini", L"\\new\\TAVRO.INI"}) {
      DeleteFileW((folder_ + name).c_str());
    }
    RemoveDirectoryW((folder_ + L"\\new").c_str());
    RemoveDirectoryW(folder_.c_str());
  }
  std::wstring Path(const wchar_t* name) const { return folder_ + L"\\" + name; }
  static void Write(const std::wstring& path, const std::string& bytes) {
    std::FILE* f = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  static std::string Read(const std::wstring& path) {
    std::string bytes;
    if (std::FILE* f = _wfopen(path.c_str(), L"rb")) {
      char chunk[256];
      std::size_t n;
      while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, n);
      std::fclose(f);
    }
    return bytes;
  }

  std::wstring folder_;
};

TEST_F(Migration, OldFileIsConvertedOnceIntoTheNewFolder) {
  // The original program's Shift-JIS on a system whose ANSI code page is 1252.
  const std::string old = "[SCORE]\r\nName1=\"\x91\xbe\x98\x59\"\r\nName2=\"\x83\x5c\x95\x5c\"\r\n";
  const std::string converted = "[SCORE]\r\nName1=\"太郎\"\r\nName2=\"ソ表\"\r\n";
  Write(Path(L"old2.ini"), old);
  const std::string fresh = Narrow(Path(L"new\\TAVRO.INI"));
  // The first candidate is missing: the next one is taken.
  ASSERT_TRUE(MigrateOldSettings(fresh, {Path(L"old1.ini"), Path(L"old2.ini")}, 1252));
  EXPECT_EQ(Read(Path(L"new\\TAVRO.INI")), converted);
  EXPECT_EQ(Read(Path(L"old2.ini")), old);

  // Once the new file exists the old ones are never read again.
  Write(Path(L"old1.ini"), "[SCORE]\r\n");
  EXPECT_FALSE(MigrateOldSettings(fresh, {Path(L"old1.ini"), Path(L"old2.ini")}, 1252));
  EXPECT_EQ(Read(Path(L"new\\TAVRO.INI")), converted);
}

TEST_F(Migration, NothingToMoveLeavesNoFile) {
  const std::string fresh = Narrow(Path(L"new\\TAVRO.INI"));
  EXPECT_FALSE(MigrateOldSettings(fresh, {Path(L"old1.ini")}, 1252));
  EXPECT_EQ(GetFileAttributesW(Path(L"new\\TAVRO.INI").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(SoundMutex, NamedMutexIsHeldUntilClosedAndSharedWithAnotherCopy) {
  const wchar_t* name = L"TAVRO_Sound_Mutex_test";
  ASSERT_TRUE(PlatformHoldNamedMutex("TAVRO_Sound_Mutex_test"));
  HANDLE seen = OpenMutexW(SYNCHRONIZE, FALSE, name);
  ASSERT_NE(seen, nullptr);
  // Not owned: another copy could take it at once.
  EXPECT_EQ(WaitForSingleObject(seen, 0), WAIT_OBJECT_0);
  ReleaseMutex(seen);
  CloseHandle(seen);
  PlatformReleaseNamedMutex();
  EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, name), nullptr);
  PlatformReleaseNamedMutex();  // nothing held: harmless
}

}  // namespace
}  // namespace tavro_win32
