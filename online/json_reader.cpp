#include "online/json_reader.h"

#include <cmath>
#include <cstdlib>

namespace {

constexpr int kMaxDepth = 32;

struct Reader {
  std::string_view text;
  std::size_t at = 0;

  void SkipBlanks() {
    while (at < text.size() &&
           (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r')) {
      ++at;
    }
  }

  bool Take(std::string_view word) {
    if (text.substr(at, word.size()) != word) return false;
    at += word.size();
    return true;
  }

  bool Hex4(unsigned* out) {
    if (at + 4 > text.size()) return false;
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text[at++];
      value <<= 4;
      if (c >= '0' && c <= '9') {
        value |= c - '0';
      } else if (c >= 'a' && c <= 'f') {
        value |= c - 'a' + 10;
      } else if (c >= 'A' && c <= 'F') {
        value |= c - 'A' + 10;
      } else {
        return false;
      }
    }
    *out = value;
    return true;
  }

  static void AppendUtf8(std::string* out, unsigned code) {
    if (code < 0x80) {
      out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (code >> 6)));
      out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | (code >> 12)));
      out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | (code >> 18)));
      out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }

  bool String(std::string* out) {
    if (!Take("\"")) return false;
    while (at < text.size()) {
      const char c = text[at++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out->push_back(c);
        continue;
      }
      if (at >= text.size()) return false;
      const char e = text[at++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out->push_back(e);
          break;
        case 'b':
          out->push_back('\b');
          break;
        case 'f':
          out->push_back('\f');
          break;
        case 'n':
          out->push_back('\n');
          break;
        case 'r':
          out->push_back('\r');
          break;
        case 't':
          out->push_back('\t');
          break;
        case 'u': {
          unsigned code = 0;
          if (!Hex4(&code)) return false;
          if (code >= 0xD800 && code < 0xDC00) {
            unsigned low = 0;
            if (!Take("\\u") || !Hex4(&low) || low < 0xDC00 || low >= 0xE000) return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          } else if (code >= 0xDC00 && code < 0xE000) {
            return false;
          }
          AppendUtf8(out, code);
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }

  bool Number(double* out) {
    const std::size_t start = at;
    if (at < text.size() && text[at] == '-') ++at;
    const std::size_t digits = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
    if (at == digits) return false;
    if (at < text.size() && text[at] == '.') {
      ++at;
      const std::size_t fraction = at;
      while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
      if (at == fraction) return false;
    }
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
      ++at;
      if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
      const std::size_t exponent = at;
      while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
      if (at == exponent) return false;
    }
    const std::string copy(text.substr(start, at - start));
    *out = std::strtod(copy.c_str(), nullptr);
    return std::isfinite(*out);
  }

  bool Value(JsonValue* value, int depth) {
    if (depth > kMaxDepth) return false;
    SkipBlanks();
    if (at >= text.size()) return false;
    const char c = text[at];
    if (c == '{') {
      ++at;
      value->kind = JsonValue::Kind::Object;
      SkipBlanks();
      if (Take("}")) return true;
      for (;;) {
        SkipBlanks();
        std::string key;
        if (!String(&key)) return false;
        SkipBlanks();
        if (!Take(":")) return false;
        JsonValue member;
        if (!Value(&member, depth + 1)) return false;
        value->members[key] = std::move(member);
        SkipBlanks();
        if (Take("}")) return true;
        if (!Take(",")) return false;
      }
    }
    if (c == '[') {
      ++at;
      value->kind = JsonValue::Kind::Array;
      SkipBlanks();
      if (Take("]")) return true;
      for (;;) {
        value->items.emplace_back();
        if (!Value(&value->items.back(), depth + 1)) return false;
        SkipBlanks();
        if (Take("]")) return true;
        if (!Take(",")) return false;
      }
    }
    if (c == '"') {
      value->kind = JsonValue::Kind::String;
      return String(&value->text);
    }
    if (Take("true") || Take("false")) {
      value->kind = JsonValue::Kind::Bool;
      value->boolean = text[at - 1] == 'e' && text[at - 2] == 'u';
      return true;
    }
    if (Take("null")) return true;
    value->kind = JsonValue::Kind::Number;
    return Number(&value->number);
  }
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& key) const {
  static const JsonValue none;
  const auto found = members.find(key);
  return found == members.end() ? none : found->second;
}

int JsonValue::Int() const {
  if (kind != Kind::Number || !(number >= -2147483648.0 && number <= 2147483647.0)) return 0;
  return static_cast<int>(number);
}

bool ReadJson(std::string_view text, JsonValue* value) {
  Reader reader{text};
  *value = JsonValue();
  if (!reader.Value(value, 0)) return false;
  reader.SkipBlanks();
  return reader.at == text.size();
}
