#include "records/name_width.h"

#include <string>

#include <gtest/gtest.h>
#include <unicode/uchar.h>

namespace {

std::string Utf8(unsigned cp) {
  std::string out;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

// Every code point's width agrees with ICU's East Asian Width property, both
// through the table and through the UTF-8 measure.
TEST(NameWidth, EveryCodePointAgreesWithIcu) {
  int mismatches = 0;
  for (unsigned cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;  // not encodable in UTF-8
    const int width = u_getIntPropertyValue(static_cast<UChar32>(cp), UCHAR_EAST_ASIAN_WIDTH);
    const int expected = width == U_EA_WIDE || width == U_EA_FULLWIDTH ? 2 : 1;
    if (CodePointColumns(cp) != expected || NameColumns(Utf8(cp)) != expected) {
      if (++mismatches <= 10) ADD_FAILURE() << "U+" << std::hex << cp;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(NameWidth, MalformedBytesCountOneColumnEach) {
  const struct {
    std::string text;
    int columns;
  } cases[] = {
      {"", 0},
      {"\xFF\xFE", 2},
      {"\xE3\x81", 2},          // a wide character cut short
      {"\xE3\x81\x82\xE3", 3},  // whole wide character, then a stray lead byte
      {"a\xC0\xAF"
       "b",
       4},                      // overlong form: two stray bytes
      {"\xED\xA0\x80", 3},      // a surrogate
      {"\xF4\x90\x80\x80", 4},  // above U+10FFFF
  };
  for (const auto& c : cases) EXPECT_EQ(NameColumns(c.text), c.columns) << c.text;
}

TEST(NameWidth, PrefixWithinColumnsKeepsWholeCharacters) {
  const std::string a = "\xE3\x81\x82";  // two columns
  const struct {
    std::string text;
    int maxColumns;
    std::size_t bytes;
  } cases[] = {
      {"abc", 2, 2}, {"abc", 20, 3},  {a + a, 3, 3},  // the second wide character does not fit
      {a + a, 4, 6}, {"x" + a, 2, 1}, {"\xE3\x81" + a, 2, 2},  // two stray bytes, one column each
      {a, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NamePrefixWithinColumns(c.text, c.maxColumns), c.bytes) << c.text;
  }
}

}  // namespace
