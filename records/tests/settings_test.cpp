#include "records/settings.h"
#include "host/files.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/posix/tests/file_helpers.h"

#include "records/ini.h"
#include "records/ranking.h"
#include "world/world.h"

namespace {

namespace fs = std::filesystem;

// A SCORE section with rows first..last, row n holding level n, score
// 1000 - n, rapid n % 2 and the name "Pn".
std::string ScoreRows(int first, int last) {
  std::string text = "[SCORE]\n";
  for (int n = first; n <= last; ++n) {
    text += std::to_string(n) + "_Values=" + std::to_string(n) + " " + std::to_string(1000 - n) +
            " " + std::to_string(n % 2) + "\n";
    text += std::to_string(n) + "_Name=P" + std::to_string(n) + "\n";
  }
  return text;
}

// The text with each line end ("\n" or "\r\n") made lineEnd.
std::string WithLineEnds(const std::string& text, const std::string& lineEnd) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\n') {
      out += lineEnd;
    } else {
      out += text[i];
    }
  }
  return out;
}

void ExpectEmptyRanking() {
  for (int i = 0; i < kRankingRows; ++i) {
    const RankingEntry& row = World.ranking[i];
    EXPECT_EQ(row.score, 0) << "row " << i + 1;
    EXPECT_EQ(row.level, 0) << "row " << i + 1;
    EXPECT_EQ(row.rapid, 0) << "row " << i + 1;
    EXPECT_STREQ(row.name, "[ -- No player -- ]") << "row " << i + 1;
  }
}

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearWorldForStart();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::path(::testing::TempDir()) / "tavro_settings_test" / info->name();
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    file_ = folder_ / "TAVRO.INI";
    SetSettingsFilePath(file_.string());
  }
  void TearDown() override {
    SetSettingsFilePath("");
    std::error_code ignored;
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
#ifdef _WIN32  // where a read-only file cannot be removed
    fs::permissions(file_, fs::perms::owner_write, fs::perm_options::add, ignored);
#endif
    fs::remove_all(folder_, ignored);
  }

  // Loads text as the settings file, with a ranking mark that a reset clears.
  void Load(const std::string& text) {
    WriteFile(file_, text);
    World.rankJustAchieved = 7;
    LoadSettings();
  }

  fs::path folder_;
  fs::path file_;
};

TEST_F(SettingsTest, NoFileGivesDefaultsAndEmptyRanking) {
  RapidFlag = SoundFlag = WaitFlag = 5;
  World.rankJustAchieved = 3;
  LoadSettings();
  EXPECT_EQ(RapidFlag, 0);
  EXPECT_EQ(SoundFlag, 1);
  EXPECT_EQ(WaitFlag, 1);
  EXPECT_EQ(World.rankJustAchieved, 0);
  ExpectEmptyRanking();
}

TEST_F(SettingsTest, EmptyPathReadsAndWritesNothing) {
  WriteFile(file_, "[ENVIRONMENT]\nSoundFlag=0\n");
  SetSettingsFilePath("");
  LoadSettings();
  EXPECT_EQ(SoundFlag, 1);
  ExpectEmptyRanking();
  EXPECT_FALSE(TrySaveSettings());
  EXPECT_EQ(ReadFile(file_), "[ENVIRONMENT]\nSoundFlag=0\n");
}

TEST_F(SettingsTest, FlagsReadAsStoredWithMinusOneMeaningDefault) {
  Load("[ENVIRONMENT]\nRapidFlag=1\nSoundFlag=-1\nWaitFlag=0\n");
  EXPECT_EQ(RapidFlag, 1);
  EXPECT_EQ(SoundFlag, 1);
  EXPECT_EQ(WaitFlag, 0);

  Load("[environment]\nrapidflag=-1\nSOUNDFLAG=0\nWaitFlag=7\n");
  EXPECT_EQ(RapidFlag, 0);
  EXPECT_EQ(SoundFlag, 0);
  EXPECT_EQ(WaitFlag, 7);  // any non-zero value is on

  Load("[ENVIRONMENT]\nRapidFlag=\nSoundFlag=off\nWaitFlag=4294967295\n");
  EXPECT_EQ(RapidFlag, 0);  // empty: default
  EXPECT_EQ(SoundFlag, 0);  // no digits: 0
  EXPECT_EQ(WaitFlag, 1);   // wraps to -1: default
}

TEST_F(SettingsTest, FullRankingIsReadInFileOrder) {
  Load(ScoreRows(1, 10));
  for (int n = 1; n <= 10; ++n) {
    const RankingEntry& row = World.ranking[n - 1];
    EXPECT_EQ(row.level, n);
    EXPECT_EQ(row.score, 1000 - n);
    EXPECT_EQ(row.rapid, n % 2);
    EXPECT_EQ(std::string(row.name), "P" + std::to_string(n));
  }
  EXPECT_EQ(World.rankJustAchieved, 7);  // left as it was
}

TEST_F(SettingsTest, RowsOutOfOrderAreTakenUnchanged) {
  std::string text = ScoreRows(1, 10);
  IniSetString(text, "SCORE", "1_Values", "0 5 0");
  IniSetString(text, "SCORE", "2_Values", "9 900000 1");
  Load(text);
  EXPECT_EQ(World.ranking[0].score, 5);
  EXPECT_EQ(World.ranking[1].score, 900000);
  EXPECT_EQ(World.ranking[1].level, 9);
}

TEST_F(SettingsTest, MissingOrMalformedRowEmptiesWholeRanking) {
  struct Case {
    const char* what;
    const char* key;
    const char* value;  // nullptr: key removed
  };
  const Case cases[] = {
      {"two numbers", "1_Values", "3 100"},
      {"no numbers", "1_Values", "abc"},
      {"empty values", "1_Values", ""},
      {"comma separated", "4_Values", "3,100,1"},
      {"letter inside", "4_Values", "3 100x 1"},
      {"row 10 short", "10_Values", "1 2"},
      {"empty name", "5_Name", ""},
      {"quoted empty name", "5_Name", "\"\""},
      {"blank name", "5_Name", "   "},
      {"21 columns", "10_Name", "abcdefghijklmnopqrstu"},
      {"21 columns, wide", "7_Name",
       "\xE5\x90\x8D\xE5\x89\x8D\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86"
       "\xE3\x81\x88\xE3\x81\x8A\xE3\x81\x8B\xE3\x81\x8D\xE3\x81\x8F"
       "x"},
      {"21 columns, stray bytes", "8_Name",
       "\xFF\xFE\xFD"
       "abcdefghijklmnopqr"},
      {"score above 32 bits", "2_Values", "3 2147483648 1"},
      {"level below 32 bits", "2_Values", "-2147483649 5 1"},
      {"huge rapid", "2_Values", "1 2 99999999999999999999"},
  };
  for (const Case& c : cases) {
    std::string text = ScoreRows(1, 10);
    // raw line edit so that quoting is exactly as given
    const std::string key = std::string(c.key) + "=";
    const std::size_t at = text.find("\n" + key) + 1;
    const std::size_t end = text.find('\n', at);
    text.replace(at, end - at, key + c.value);
    Load(text);
    SCOPED_TRACE(c.what);
    ExpectEmptyRanking();
    EXPECT_EQ(World.rankJustAchieved, 0);
  }
}

TEST_F(SettingsTest, OnlyRowsOneToFiveEmptiesTheRanking) {
  Load(ScoreRows(1, 5));
  ExpectEmptyRanking();
}

TEST_F(SettingsTest, TrailingTextAfterThreeNumbersIsAccepted) {
  std::string text = ScoreRows(1, 10);
  IniSetString(text, "SCORE", "1_Values", "3 100 1 more text");
  IniSetString(text, "SCORE", "2_Values", "\t+4  -50\t0x");
  Load(text);
  EXPECT_EQ(World.ranking[0].level, 3);
  EXPECT_EQ(World.ranking[0].score, 100);
  EXPECT_EQ(World.ranking[0].rapid, 1);
  EXPECT_EQ(World.ranking[1].level, 4);
  EXPECT_EQ(World.ranking[1].score, -50);
  EXPECT_EQ(World.ranking[1].rapid, 0);
}

TEST_F(SettingsTest, ExtremeThirtyTwoBitNumbersAreAccepted) {
  std::string text = ScoreRows(1, 10);
  IniSetString(text, "SCORE", "3_Values", "-2147483648 2147483647 0");
  Load(text);
  EXPECT_EQ(World.ranking[2].level, INT_MIN);
  EXPECT_EQ(World.ranking[2].score, INT_MAX);
}

TEST_F(SettingsTest, NameOfTwentyColumnsIsAccepted) {
  const std::string tenWide =
      "\xE5\x90\x8D\xE5\x89\x8D\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86"
      "\xE3\x81\x88\xE3\x81\x8A\xE3\x81\x8B\xE3\x81\x8D\xE3\x81\x8F";  // 30 bytes
  const std::string names[] = {
      "abcdefghijklmnopqrst",
      "\xE5\x90\x8D\xE5\x89\x8D\xE3\x81\x82\xE3\x81\x84"
      "12345678",                                  // 20 bytes, 16 columns: valid before and now
      tenWide, "\xFF\xFE" + std::string(18, 'z'),  // stray bytes count one column each
  };
  std::string text = ScoreRows(1, 10);
  for (int i = 0; i < 4; ++i)
    IniSetString(text, "SCORE", std::to_string(i + 3) + "_Name", names[i]);
  Load(text);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(std::string(World.ranking[i + 2].name), names[i]) << i;
}

TEST_F(SettingsTest, FreshStartWritesAllKeysInOrder) {
  LoadSettings();
  ASSERT_TRUE(TrySaveSettings());
  std::string expected =
      "[ENVIRONMENT]\n"
      "RapidFlag=0\n"
      "SoundFlag=1\n"
      "WaitFlag=1\n"
      "\n"
      "[SCORE]\n";
  for (int n = 1; n <= 10; ++n) {
    expected += std::to_string(n) + "_Values=0 0 0\n";
    expected += std::to_string(n) + "_Name=[ -- No player -- ]\n";
  }
  EXPECT_EQ(ReadFile(file_), WithLineEnds(expected, PlatformNewFileLineEnd()));
}

// A new file's lines end as the system's own profile functions end them; an
// existing file keeps its line ends, whatever the system.
TEST_F(SettingsTest, NewFileTakesTheSystemsLineEndsAndAnExistingFileKeepsItsOwn) {
#ifdef _WIN32
  EXPECT_STREQ(PlatformNewFileLineEnd(), "\r\n");
#else
  EXPECT_STREQ(PlatformNewFileLineEnd(), "\n");
#endif
  const std::string system = PlatformNewFileLineEnd();
  struct Case {
    const char* what;
    const char* text;  // nullptr: no file
    std::string lineEnd;
  };
  const Case cases[] = {
      {"no file", nullptr, system},
      {"empty file", "", system},
      {"one line without a line end", "; notes", system},
      {"LF file", "; notes\n[Other]\nx=1\n", "\n"},
      {"CRLF file", "; notes\r\n[Other]\r\nx=1\r\n", "\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(file_);
    if (c.text != nullptr) WriteFile(file_, c.text);
    LoadSettings();
    ASSERT_TRUE(TrySaveSettings());
    const std::string text = ReadFile(file_);
    EXPECT_EQ(text, WithLineEnds(WithLineEnds(text, "\n"), c.lineEnd));
    EXPECT_NE(text.find("10_Name=[ -- No player -- ]" + c.lineEnd), std::string::npos);
  }
}

// What Notepad saves as "Unicode": UTF-16 with a byte-order mark, CRLF line
// ends. Its settings and ranking are read; the save rewrites it as UTF-8 with
// everything else kept, and keeps the original bytes in TAVRO.INI.bak once.
TEST_F(SettingsTest, Utf16FileIsReadAndRewrittenAsUtf8KeepingTheOriginal) {
  const std::u16string rows = [] {
    std::u16string text;
    for (int n = 1; n <= 10; ++n) {
      const std::string values = std::to_string(n) + "_Values=1 " + std::to_string(1000 - n) +
                                 " 0\r\n" + std::to_string(n) + "_Name=";
      text += std::u16string(values.begin(), values.end());
      text += n == 1 ? u"\u5C71\u7530\u592A\u90CE" : u"P";  // 山田太郎
      text += u"\r\n";
    }
    return text;
  }();
  const std::u16string content =
      u"; \u30E1\u30E2 \U0001F600\r\n[ENVIRONMENT]\r\nSoundFlag=0\r\n\r\n"
      u"[SCORE]\r\n" +
      rows + u"[Other]\r\nx=\u8868\r\n";
  const fs::path backup = folder_ / "TAVRO.INI.bak";
  for (const bool little : {true, false}) {
    SCOPED_TRACE(little ? "little-endian" : "big-endian");
    std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
    for (char16_t unit : content) {
      const char low = static_cast<char>(unit & 0xFF);
      const char high = static_cast<char>(unit >> 8);
      bytes += little ? std::string{low, high} : std::string{high, low};
    }
    fs::remove(backup);
    WriteFile(file_, bytes);
    LoadSettings();
    EXPECT_EQ(SoundFlag, 0);
    EXPECT_STREQ(World.ranking[0].name, "\xE5\xB1\xB1\xE7\x94\xB0\xE5\xA4\xAA\xE9\x83\x8E");
    EXPECT_EQ(World.ranking[9].score, 990);

    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(TrySaveSettings());
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find(backup.string()), std::string::npos);
    EXPECT_EQ(ReadFile(backup), bytes);

    const std::string saved = ReadFile(file_);
    EXPECT_EQ(saved.rfind(
                  "; \xE3\x83\xA1\xE3\x83\xA2 \xF0\x9F\x98\x80\r\n[ENVIRONMENT]\r\nSoundFlag=0\r\n"
                  "RapidFlag=0\r\nWaitFlag=1\r\n\r\n[SCORE]\r\n1_Values=1 999 0\r\n"
                  "1_Name=\xE5\xB1\xB1\xE7\x94\xB0\xE5\xA4\xAA\xE9\x83\x8E\r\n",
                  0),
              0u)
        << saved;
    EXPECT_NE(saved.find("[Other]\r\nx=\xE8\xA1\xA8\r\n"), std::string::npos);
    EXPECT_EQ(saved.find('\0'), std::string::npos);
    EXPECT_EQ(saved.find("[ENVIRONMENT]"), saved.rfind("[ENVIRONMENT]"));

    // now UTF-8: read alike, no further copy
    LoadSettings();
    EXPECT_EQ(SoundFlag, 0);
    EXPECT_EQ(World.ranking[9].score, 990);
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(TrySaveSettings());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(ReadFile(backup), bytes);
  }
}

TEST_F(SettingsTest, SaveAndLoadRoundTrip) {
  LoadSettings();
  RapidFlag = 1;
  SoundFlag = 0;
  WaitFlag = 0;
  World.ranking[0] = {950, 3, 1, "\"Quoted\""};
  World.ranking[1] = {900, INT_MAX, 0, "'x'"};
  World.ranking[2] = {INT_MIN, -1, 1, "\xE3\x81\x82 b"};
  World.ranking[3] = {1, 2, 3, "\"\""};
  const WorldState saved = World;
  ASSERT_TRUE(TrySaveSettings());
  EXPECT_NE(ReadFile(file_).find("1_Values=3 950 1" + std::string(PlatformNewFileLineEnd())),
            std::string::npos);

  ClearWorldForStart();
  LoadSettings();
  EXPECT_EQ(RapidFlag, 1);
  EXPECT_EQ(SoundFlag, 0);
  EXPECT_EQ(WaitFlag, 0);
  for (int i = 0; i < kRankingRows; ++i) {
    EXPECT_EQ(World.ranking[i].score, saved.ranking[i].score) << i;
    EXPECT_EQ(World.ranking[i].level, saved.ranking[i].level) << i;
    EXPECT_EQ(World.ranking[i].rapid, saved.ranking[i].rapid) << i;
    EXPECT_STREQ(World.ranking[i].name, saved.ranking[i].name) << i;
  }
}

TEST_F(SettingsTest, SaveKeepsOtherContentAndLineEndings) {
  WriteFile(file_,
            "; my notes\r\n"
            "[Window]\r\n"
            "x=10\r\n"
            "[environment]\r\n"
            "soundflag = 1\r\n"
            "Extra=keep\r\n");
  LoadSettings();
  SoundFlag = 0;
  ASSERT_TRUE(TrySaveSettings());
  const std::string text = ReadFile(file_);
  EXPECT_EQ(text.rfind("; my notes\r\n"
                       "[Window]\r\n"
                       "x=10\r\n"
                       "[environment]\r\n"
                       "soundflag = 0\r\n"
                       "Extra=keep\r\n"
                       "RapidFlag=0\r\n"
                       "WaitFlag=1\r\n"
                       "\r\n"
                       "[SCORE]\r\n"
                       "1_Values=0 0 0\r\n",
                       0),
            0u);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare line feed at " << i;
    }
  }
}

TEST_F(SettingsTest, SaveReplacesARankingWithoutDuplicatingKeys) {
  Load(ScoreRows(1, 10));
  InsertRankingRow(0, 5000, 1, 1);
  NoteRankingRowEntered(World.ranking[0]);
  ASSERT_TRUE(TrySaveSettings());
  const std::string text = ReadFile(file_);
  EXPECT_NE(text.find("1_Values=1 5000 1\n"), std::string::npos);
  EXPECT_EQ(text.find("1_Values="), text.rfind("1_Values="));
  Load(text);
  EXPECT_EQ(World.ranking[0].score, 5000);
}

TEST_F(SettingsTest, SaveCreatesMissingFolders) {
  const fs::path deep = folder_ / "a" / "b" / "TAVRO.INI";
  SetSettingsFilePath(deep.string());
  LoadSettings();
  ASSERT_TRUE(TrySaveSettings());
  EXPECT_TRUE(fs::is_regular_file(deep));
}

TEST_F(SettingsTest, SaveIntoImpossibleFolderFailsWithoutHarm) {
  WriteFile(folder_ / "plain", "not a folder");
  const fs::path path = folder_ / "plain" / "TAVRO.INI";
  SetSettingsFilePath(path.string());
  LoadSettings();
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(TrySaveSettings());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "TAVRO: the settings could not be written to " + path.string() + "\n");
  EXPECT_EQ(ReadFile(folder_ / "plain"), "not a folder");
}

TEST_F(SettingsTest, UnreadableFileIsNotReplaced) {
  WriteFile(file_, "[Other]\nprecious=1\n");
  fs::permissions(file_, fs::perms::none);
  if (std::ifstream(file_).good()) GTEST_SKIP() << "files stay readable for this user";
  LoadSettings();
  EXPECT_FALSE(TrySaveSettings());
  fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(ReadFile(file_), "[Other]\nprecious=1\n");
}

// A settings path that names anything but a plain file of sensible size is
// not read, without blocking or reading without end: one line on standard
// error says why, the defaults apply, and the save leaves the thing alone.
// The FIFO and the link to /dev/zero come last: a reader without these
// guards blocks on the one for good and reads the other until memory runs out.
TEST_F(SettingsTest, OddSettingsFileIsNotReadNorReplaced) {
  constexpr std::uintmax_t kOverLimit = (16u << 20) + 1;
  struct Case {
    const char* what;
    std::function<bool()> make;
    const char* reason;
  };
  const Case cases[] = {
      {"folder", [&] { return fs::create_directory(file_); }, "it is not a regular file"},
      {"device", [&] { return RunningAsRoot() && MakeDeviceNode(file_); },
       "it is not a regular file"},
      {"sparse file over 16 MiB",
       [&] {
         WriteFile(file_, "[ENVIRONMENT]\nSoundFlag=0\n");
         fs::resize_file(file_, kOverLimit);
         return true;
       },
       "it is larger than 16 MiB"},
      {"fifo", [&] { return MakeFifo(file_); }, "it is not a regular file"},
#ifndef _WIN32
      {"link to /dev/zero",
       [&] {
         fs::create_symlink("/dev/zero", file_);
         return true;
       },
       "it is not a regular file"},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(file_);
    if (!c.make()) continue;  // a device node needs root
    const fs::file_type kind = fs::symlink_status(file_).type();
    SoundFlag = 0;
    ::testing::internal::CaptureStderr();
    World.rankJustAchieved = 7;
    LoadSettings();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "TAVRO: the settings file " +
                                                            file_.string() + " was not read (" +
                                                            c.reason + "); the defaults apply\n");
    EXPECT_EQ(SoundFlag, 1);
    ExpectEmptyRanking();
    EXPECT_FALSE(TrySaveSettings());
    EXPECT_EQ(fs::symlink_status(file_).type(), kind);
    if (kind == fs::file_type::regular) {
      EXPECT_EQ(fs::file_size(file_), kOverLimit);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
  }
}

// When the loader rejects rows that the file really holds, the file as it
// was is kept as TAVRO.INI.bak (replacing an older one) before the save
// writes the empty ranking, and this is said once. A file without rows
// (fresh, or without a SCORE section) or with a whole ranking needs no copy.
TEST_F(SettingsTest, RejectedRankingIsKeptAsBackupBeforeTheSave) {
  const fs::path backup = folder_ / "TAVRO.INI.bak";
  std::string shortRow = "; notes\n" + ScoreRows(1, 10);
  IniSetString(shortRow, "SCORE", "10_Values", "1 2");
  struct Case {
    const char* what;
    const char* text;  // nullptr: no file
    bool kept;
  };
  const std::string rowsOneToFive = ScoreRows(1, 5);
  const std::string whole = ScoreRows(1, 10);
  const Case cases[] = {
      {"row 10 short", shortRow.c_str(), true},
      {"rows 1 to 5 only", rowsOneToFive.c_str(), true},
      {"no file", nullptr, false},
      {"no SCORE section", "[ENVIRONMENT]\nSoundFlag=0\n", false},
      {"empty SCORE section", "[SCORE]\n[Other]\n1_Values=1 2 3\n", false},
      {"whole ranking", whole.c_str(), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(file_);
    WriteFile(backup, "an older copy");
    if (c.text != nullptr) WriteFile(file_, c.text);
    LoadSettings();
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(TrySaveSettings());
    ASSERT_TRUE(TrySaveSettings());  // the copy is made before the first save only
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(ReadFile(backup), c.kept ? std::string(c.text) : "an older copy");
    EXPECT_EQ(said.empty(), !c.kept) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), c.kept ? 1 : 0);
    if (c.kept) {
      EXPECT_NE(said.find(backup.string()), std::string::npos);
    }
  }

  // Without a place for the copy, the rows are not given up: no save.
  fs::remove(backup);
  fs::create_directories(backup / "inner");
  WriteFile(file_, shortRow);
  LoadSettings();
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(TrySaveSettings());
  EXPECT_NE(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(ReadFile(file_), shortRow);
}

#ifndef _WIN32  // the Windows rule is tested with the Windows file layer
TEST(SettingsPath, DefaultFollowsXdgConfigHome) {
  const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
  const char* savedHome = std::getenv("HOME");
  const std::string xdg = savedXdg ? savedXdg : "";
  const std::string home = savedHome ? savedHome : "";

  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  ::setenv("HOME", "/home/u", 1);
  EXPECT_EQ(DefaultSettingsFilePath(), "/cfg/tavro/TAVRO.INI");
  ::setenv("XDG_CONFIG_HOME", "", 1);
  EXPECT_EQ(DefaultSettingsFilePath(), "/home/u/.config/tavro/TAVRO.INI");
  ::setenv("XDG_CONFIG_HOME", "relative", 1);
  EXPECT_EQ(DefaultSettingsFilePath(), "/home/u/.config/tavro/TAVRO.INI");
  ::unsetenv("XDG_CONFIG_HOME");
  ::unsetenv("HOME");
  EXPECT_EQ(DefaultSettingsFilePath(), "");

  if (savedXdg) ::setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
  if (savedHome) ::setenv("HOME", home.c_str(), 1);
}
#endif

TEST(SettingsPath, SetAndGet) {
  SetSettingsFilePath("/tmp/x/TAVRO.INI");
  EXPECT_EQ(SettingsFilePath(), "/tmp/x/TAVRO.INI");
  SetSettingsFilePath("");
  EXPECT_EQ(SettingsFilePath(), "");
}

TEST(ResetRankingTest, EmptiesEveryRowAndTheMark) {
  ClearWorldForStart();
  for (RankingEntry& row : World.ranking) {
    row = {5, 6, 1, "someone"};
    std::memset(row.name, 'x', sizeof row.name);  // even without a terminator
  }
  World.rankJustAchieved = 4;
  ResetRanking();
  ExpectEmptyRanking();
  EXPECT_EQ(World.rankJustAchieved, 0);
}

}  // namespace
