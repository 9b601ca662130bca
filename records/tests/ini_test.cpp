#include "records/ini.h"

#include <climits>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(IniRead, NamesMatchWithoutRegardToCase) {
  const std::string text = "[environment]\nrapidFLAG=1\n";
  EXPECT_EQ(IniGetString(text, "ENVIRONMENT", "RapidFlag", "x"), "1");
  EXPECT_EQ(IniGetInt(text, "Environment", "rapidflag", -1), 1);
}

TEST(IniRead, MissingSectionOrKeyGivesDefault) {
  const std::string text = "[A]\nk=1\n[B]\nother=2\n";
  EXPECT_EQ(IniGetString(text, "C", "k", "def"), "def");
  EXPECT_EQ(IniGetString(text, "B", "k", "def"), "def");
  EXPECT_EQ(IniGetInt(text, "B", "k", -1), -1);
  EXPECT_EQ(IniGetString("", "A", "k", ""), "");
}

TEST(IniRead, KeysBelongOnlyToTheirSection) {
  const std::string text = "k=0\n[A]\nk=1\n[B]\nk=2\n";
  EXPECT_EQ(IniGetInt(text, "A", "k", -1), 1);
  EXPECT_EQ(IniGetInt(text, "B", "k", -1), 2);
}

TEST(IniRead, FirstOfDuplicatesIsRead) {
  const std::string text = "[A]\nk=1\nK=2\n[a]\nk=3\nonly=4\n";
  EXPECT_EQ(IniGetInt(text, "A", "k", -1), 1);
  // the second section of the same name is never seen
  EXPECT_EQ(IniGetInt(text, "A", "only", -1), -1);
}

TEST(IniRead, KeyWithoutEqualsSignReadsDefault) {
  EXPECT_EQ(IniGetString("[A]\nk\nk=1\n", "A", "k", "def"), "def");
}

TEST(IniRead, BlanksAroundNamesAndValuesAreIgnored) {
  const std::string text = "  [ A ]  \n\t key \t=  some value \t\n";
  EXPECT_EQ(IniGetString(text, "A", "key", ""), "some value");
}

TEST(IniRead, OnePairOfMatchingQuotesIsRemoved) {
  const std::string text =
      "[A]\n"
      "d=\"quoted text\"\n"
      "s='single'\n"
      "mixed=\"text'\n"
      "double=\"\"x\"\"\n"
      "lone=\"\n"
      "inner=a \"b\" c\n"
      "empty=\"\"\n"
      "blanks=\"  padded  \"\n";
  EXPECT_EQ(IniGetString(text, "A", "d", ""), "quoted text");
  EXPECT_EQ(IniGetString(text, "A", "s", ""), "single");
  EXPECT_EQ(IniGetString(text, "A", "mixed", ""), "\"text'");
  EXPECT_EQ(IniGetString(text, "A", "double", ""), "\"x\"");
  EXPECT_EQ(IniGetString(text, "A", "lone", ""), "\"");
  EXPECT_EQ(IniGetString(text, "A", "inner", ""), "a \"b\" c");
  EXPECT_EQ(IniGetString(text, "A", "empty", "def"), "");
  EXPECT_EQ(IniGetString(text, "A", "blanks", ""), "  padded  ");
}

TEST(IniRead, StringsSeeAtMost255Bytes) {
  const std::string longValue(300, 'x');
  const std::string text = "[A]\nk=" + longValue + "\nq=\"" + longValue + "\"\n";
  EXPECT_EQ(IniGetString(text, "A", "k", ""), std::string(255, 'x'));
  EXPECT_EQ(IniGetString(text, "A", "q", ""), std::string(255, 'x'));
}

TEST(IniRead, ZeroByteEndsTheValue) {
  const std::string text("[A]\nk=ab\0cd\n", 12);
  EXPECT_EQ(IniGetString(text, "A", "k", ""), "ab");
}

TEST(IniRead, CrLfLinesReadLikeLfLines) {
  const std::string text = "[A]\r\nk=value\r\nn=7\r\n";
  EXPECT_EQ(IniGetString(text, "A", "k", ""), "value");
  EXPECT_EQ(IniGetInt(text, "a", "N", -1), 7);
}

// A UTF-8 byte-order mark at the start belongs to no line: the first section
// is found, and a write keeps the mark in front.
TEST(IniRead, ByteOrderMarkAtStartIsSkippedAndKept) {
  std::string text = "\xEF\xBB\xBF[ENVIRONMENT]\nSoundFlag=0\n";
  EXPECT_EQ(IniGetInt(text, "ENVIRONMENT", "SoundFlag", -1), 0);
  IniSetString(text, "ENVIRONMENT", "SoundFlag", "1");
  EXPECT_EQ(text, "\xEF\xBB\xBF[ENVIRONMENT]\nSoundFlag=1\n");

  std::string markOnly = "\xEF\xBB\xBF";
  IniSetString(markOnly, "A", "k", "v");
  EXPECT_EQ(markOnly, "\xEF\xBB\xBF[A]\nk=v\n");
  // elsewhere it is an ordinary part of a line
  EXPECT_EQ(IniGetInt("x\n\xEF\xBB\xBF[A]\nk=1\n", "A", "k", -1), -1);
}

TEST(IniParseInt, SignAndDigitsUpToOtherCharacter) {
  EXPECT_EQ(IniParseInt("42", -1), 42);
  EXPECT_EQ(IniParseInt("-17", -1), -17);
  EXPECT_EQ(IniParseInt("+5", -1), 5);
  EXPECT_EQ(IniParseInt("12abc", -1), 12);
  EXPECT_EQ(IniParseInt("3 4", -1), 3);
  EXPECT_EQ(IniParseInt("1.9", -1), 1);
}

TEST(IniParseInt, NoDigitsReadsZeroAndEmptyReadsDefault) {
  EXPECT_EQ(IniParseInt("abc", -1), 0);
  EXPECT_EQ(IniParseInt("-", -1), 0);
  EXPECT_EQ(IniParseInt("+x", 9), 0);
  EXPECT_EQ(IniParseInt("", -1), -1);
  EXPECT_EQ(IniGetInt("[A]\nk=\n", "A", "k", 33), 33);
  EXPECT_EQ(IniGetInt("[A]\nk=\"\"\n", "A", "k", 33), 33);
  EXPECT_EQ(IniGetInt("[A]\nk=\"5\"\n", "A", "k", 33), 5);
}

TEST(IniParseInt, LargeNumbersWrapModulo2To32) {
  EXPECT_EQ(IniParseInt("2147483647", 0), INT_MAX);
  EXPECT_EQ(IniParseInt("-2147483648", 0), INT_MIN);
  EXPECT_EQ(IniParseInt("2147483648", 0), INT_MIN);
  EXPECT_EQ(IniParseInt("4294967295", 0), -1);
  EXPECT_EQ(IniParseInt("4294967296", 0), 0);
  EXPECT_EQ(IniParseInt("4294967297", 0), 1);
  EXPECT_EQ(IniParseInt("-4294967295", 0), 1);
  // 10^20 mod 2^32
  EXPECT_EQ(IniParseInt("100000000000000000000", 0), 1661992960);
  EXPECT_EQ(IniParseInt(std::string(200, '9'), 0), IniParseInt(std::string(200, '9'), 1));
}

TEST(IniWrite, CreatesFileSectionAndKey) {
  std::string text;
  IniSetString(text, "A", "one", "1");
  EXPECT_EQ(text, "[A]\none=1\n");
  IniSetString(text, "A", "two", "2");
  EXPECT_EQ(text, "[A]\none=1\ntwo=2\n");
  IniSetString(text, "B", "three", "3");
  EXPECT_EQ(text, "[A]\none=1\ntwo=2\n\n[B]\nthree=3\n");
}

TEST(IniWrite, ReplacesInPlaceAndKeepsEverythingElse) {
  std::string text =
      "; settings\n"
      "[Other]\n"
      "keep = me\n"
      "\n"
      "[A]\n"
      "; comment in A\n"
      "  Key = old value  \n"
      "after=1\n"
      "\n"
      "[Last]\n"
      "x=y";
  IniSetString(text, "a", "KEY", "new");
  EXPECT_EQ(text,
            "; settings\n"
            "[Other]\n"
            "keep = me\n"
            "\n"
            "[A]\n"
            "; comment in A\n"
            "  Key = new\n"
            "after=1\n"
            "\n"
            "[Last]\n"
            "x=y");
}

TEST(IniWrite, NewKeyGoesAfterTheSectionsLastLine) {
  std::string text = "[A]\nk=1\n\n[B]\nm=2\n";
  IniSetString(text, "A", "n", "3");
  EXPECT_EQ(text, "[A]\nk=1\nn=3\n\n[B]\nm=2\n");

  std::string unterminated = "[A]\nk=1";
  IniSetString(unterminated, "A", "n", "3");
  EXPECT_EQ(unterminated, "[A]\nk=1\nn=3");

  std::string carriageReturnAtEnd = "[A]\nk=1\r";
  IniSetString(carriageReturnAtEnd, "A", "n", "3");
  EXPECT_EQ(IniGetInt(carriageReturnAtEnd, "A", "k", -1), 1);
  EXPECT_EQ(IniGetInt(carriageReturnAtEnd, "A", "n", -1), 3);

  std::string headerOnly = "[A]\n[B]\n";
  IniSetString(headerOnly, "A", "n", "3");
  EXPECT_EQ(headerOnly, "[A]\nn=3\n[B]\n");
}

TEST(IniWrite, WritesTheFirstOfDuplicates) {
  std::string text = "[A]\nk=1\nk=2\n[A]\nk=3\n";
  IniSetString(text, "A", "k", "9");
  EXPECT_EQ(text, "[A]\nk=9\nk=2\n[A]\nk=3\n");
}

TEST(IniWrite, KeyWithoutValueGetsOne) {
  std::string text = "[A]\n  k  \n";
  IniSetString(text, "A", "k", "5");
  EXPECT_EQ(text, "[A]\n  k=5\n");
  EXPECT_EQ(IniGetInt(text, "A", "k", -1), 5);
}

TEST(IniWrite, KeepsCrLfStyle) {
  std::string text = "[A]\r\nk=1\r\n";
  IniSetString(text, "A", "k", "2");
  IniSetString(text, "A", "n", "3");
  IniSetString(text, "B", "m", "4");
  EXPECT_EQ(text, "[A]\r\nk=2\r\nn=3\r\n\r\n[B]\r\nm=4\r\n");
}

TEST(IniWrite, AppendsToTextWithoutFinalLineBreak) {
  std::string text = "[A]\nk=1";
  IniSetString(text, "B", "m", "2");
  EXPECT_EQ(text, "[A]\nk=1\n\n[B]\nm=2\n");
}

TEST(IniWrite, ValuesReadBackUnchanged) {
  const char* values[] = {"plain", "\"quoted\"", "'single'", "\"\"", "''",   " lead", "trail ",
                          "\"",    "a\"b",       "'mixed\"", "  ",   "a\rb", "x\r",   "\t"};
  std::string text;
  for (const char* value : values) {
    IniSetString(text, "S", "k", value);
    EXPECT_EQ(IniGetString(text, "S", "k", "def"), value) << "value [" << value << "]";
  }
}

TEST(IniWrite, LineBreaksInValuesAreDropped) {
  std::string text;
  IniSetString(text, "A", "k", "two\nlines");
  IniSetString(text, "A", "other", "x");
  EXPECT_EQ(text, "[A]\nk=twolines\nother=x\n");
}

// The lines a write adds end as the text's first line ends; a text without
// any line break yet takes the caller's line end.
TEST(IniWrite, NewTextTakesTheCallersLineEndAndATextKeepsItsOwn) {
  const struct {
    std::string text;
    std::string expected;
  } cases[] = {
      {"", "[A]\r\nk=v\r\n"},
      {"\xEF\xBB\xBF", "\xEF\xBB\xBF[A]\r\nk=v\r\n"},
      {"; one line", "; one line\r\n\r\n[A]\r\nk=v\r\n"},
      {"[A]", "[A]\r\nk=v"},
      {"[B]\nx=1\n", "[B]\nx=1\n\n[A]\nk=v\n"},
      {"[B]\r\nx=1\r\n", "[B]\r\nx=1\r\n\r\n[A]\r\nk=v\r\n"},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    IniSetString(text, "A", "k", "v", "\r\n");
    EXPECT_EQ(text, c.expected) << "from [" << c.text << "]";
  }
}

// UTF-16 text with a byte-order mark, in either byte order, becomes UTF-8;
// anything else is left alone.
TEST(IniUtf16ToUtf8, DecodesTextWithAByteOrderMark) {
  const std::string kReplacement = "\xEF\xBF\xBD";
  const struct {
    const char* what;
    std::string bytes;
    bool converted;
    std::string text;
  } cases[] = {
      {"little-endian", std::string("\xFF\xFE[\0A\0]\0\r\0\n\0k\0=\0\x68\x88", 18), true,
       "[A]\r\nk=\xE8\xA1\xA8"},
      {"big-endian", std::string("\xFE\xFF\0k\0=\x30\xBD", 8), true, "k=\xE3\x82\xBD"},
      {"surrogate pair", std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), true, "\xF0\x9F\x98\x80"},
      {"high surrogate alone", std::string("\xFF\xFE\x3D\xD8x\0", 6), true, kReplacement + "x"},
      {"high surrogate at the end", std::string("\xFF\xFE\x3D\xD8", 4), true, kReplacement},
      {"low surrogate alone", std::string("\xFF\xFE\x00\xDEx\0", 6), true, kReplacement + "x"},
      {"odd last byte", std::string("\xFF\xFEx\0y", 5), true, "x" + kReplacement},
      {"mark only", "\xFF\xFE", true, ""},
      {"no mark", std::string("k\0=\0", 4), false, std::string("k\0=\0", 4)},
      {"UTF-8 mark", "\xEF\xBB\xBFk=v", false, "\xEF\xBB\xBFk=v"},
      {"one byte", "\xFF", false, "\xFF"},
  };
  for (const auto& c : cases) {
    std::string text = c.bytes;
    EXPECT_EQ(IniUtf16ToUtf8(text), c.converted) << c.what;
    EXPECT_EQ(text, c.text) << c.what;
  }
}

}  // namespace
