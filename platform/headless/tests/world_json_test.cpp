#include <gtest/gtest.h>

#include <string>

#include "platform/headless/world_json.h"

namespace {

std::string Json(const char* text, int length) {
  std::string out;
  AppendJsonString(out, text, length);
  return out;
}

}  // namespace

TEST(JsonStringTest, EscapesQuotesBackslashesAndControls) {
  EXPECT_EQ(Json("a\"b\\c", 5), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(Json("\x01\n", 2), "\"\\u0001\\u000a\"");
}

TEST(JsonStringTest, KeepsValidUtf8AndReplacesInvalidBytes) {
  const char name[] = "\xe5\x90\x8d\xe5\x89\x8d";  // two CJK characters
  EXPECT_EQ(Json(name, 6), std::string("\"") + name + "\"");
  EXPECT_EQ(Json("\xff", 1), "\"\\ufffd\"");
  EXPECT_EQ(Json("\xe5\x90", 2), "\"\\ufffd\\ufffd\"");  // cut inside a character
  EXPECT_EQ(Json("\xc0\xaf", 2), "\"\\ufffd\\ufffd\"");  // overlong form
}
