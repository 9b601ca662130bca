// A small JSON reader for the ranking server's answers: objects, arrays,
// strings (with \u escapes and surrogate pairs), numbers, true, false and
// null, nested at most 32 deep. Anything else makes the whole text unread.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

struct JsonValue {
  enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> members;

  // The member of an object, or a null value.
  const JsonValue& operator[](const std::string& key) const;
  // A number as an int (0 when it is not a number or out of range).
  int Int() const;
};

// Reads a whole JSON text; false when it is not one.
bool ReadJson(std::string_view text, JsonValue* value);
