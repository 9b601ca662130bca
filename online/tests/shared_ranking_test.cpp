#include "online/shared_ranking.h"

#include <gtest/gtest.h>

#include "online/json_reader.h"

TEST(JsonReader, ReadsTheServersAnswers) {
  JsonValue value;
  ASSERT_TRUE(ReadJson(R"({"a":[1,-2.5e1,true,false,null],"b":"x\u00e9\ud83d\ude00"})", &value));
  EXPECT_EQ(value["a"].items.size(), 5u);
  EXPECT_EQ(value["a"].items[1].Int(), -25);
  EXPECT_EQ(value["b"].text, "x\xC3\xA9\xF0\x9F\x98\x80");
}
