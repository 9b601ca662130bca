#include "records/ini.h"

#include <cstdint>
#include <utility>

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char FoldCase(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

bool IsQuote(char c) {
  return c == '"' || c == '\'';
}

bool HasMatchingQuotes(std::string_view s) {
  return s.size() >= 2 && IsQuote(s.front()) && s.front() == s.back();
}

// One line of the text, without its line break.
struct Line {
  std::size_t begin;  // offset of the first byte
  std::size_t end;    // offset just past the content, before "\r\n" or "\n"
  std::size_t next;   // offset of the following line (text size at the end)
};

enum class LineKind { kBlank, kSection, kKey };

struct ParsedLine {
  LineKind kind;
  std::string_view name;   // section or key name
  bool hasValue;           // key line with '='
  std::size_t valueBegin;  // offset in the text of the value after '=' and blanks
  std::string_view value;  // the key's value without surrounding blanks
};

// Length of a UTF-8 byte-order mark at the start of text, which is not part
// of the first line: 3 or 0.
std::size_t BomLength(std::string_view text) {
  return text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
}

class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text), pos_(BomLength(text)) {}

  bool Next(Line* line) {
    if (pos_ >= text_.size()) return false;
    const std::size_t newline = text_.find('\n', pos_);
    line->begin = pos_;
    if (newline == std::string_view::npos) {
      line->end = text_.size();
      line->next = text_.size();
    } else {
      line->end = newline;
      line->next = newline + 1;
      if (line->end > line->begin && text_[line->end - 1] == '\r') --line->end;
    }
    pos_ = line->next;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

ParsedLine ParseLine(std::string_view text, const Line& line) {
  ParsedLine parsed{LineKind::kBlank, {}, false, line.end, {}};
  const std::string_view content = Trim(text.substr(line.begin, line.end - line.begin));
  if (content.empty()) return parsed;
  if (content.front() == '[') {
    const std::size_t close = content.rfind(']');
    if (close != std::string_view::npos && close > 0) {
      parsed.kind = LineKind::kSection;
      parsed.name = Trim(content.substr(1, close - 1));
      return parsed;
    }
  }
  parsed.kind = LineKind::kKey;
  const std::size_t equals = content.find('=');
  if (equals == std::string_view::npos) {
    parsed.name = content;
    return parsed;
  }
  parsed.name = Trim(content.substr(0, equals));
  parsed.hasValue = true;
  std::string_view rest = content.substr(equals + 1);
  std::size_t skipped = 0;
  while (skipped < rest.size() && IsBlank(rest[skipped])) ++skipped;
  rest.remove_prefix(skipped);
  parsed.value = Trim(rest);
  parsed.valueBegin = static_cast<std::size_t>(rest.data() - text.data());
  return parsed;
}

// Where a key stands, or would go, in the text.
struct KeyPlace {
  bool sectionFound = false;
  bool keyFound = false;
  Line keyLine{};
  ParsedLine key{};
  // End of the section's last non-blank line (its header when it has none),
  // and whether that line has a line break.
  std::size_t sectionContentEnd = 0;
  bool sectionContentTerminated = false;
};

KeyPlace FindKey(std::string_view text, std::string_view section, std::string_view key) {
  KeyPlace place;
  LineReader reader(text);
  Line line;
  bool inSection = false;
  while (reader.Next(&line)) {
    const ParsedLine parsed = ParseLine(text, line);
    if (parsed.kind == LineKind::kSection) {
      if (inSection) break;  // the first matching section has ended
      if (SameName(parsed.name, section)) {
        inSection = true;
        place.sectionFound = true;
        place.sectionContentEnd = line.next;
        place.sectionContentTerminated = line.next > line.end;
      }
      continue;
    }
    if (!inSection || parsed.kind == LineKind::kBlank) continue;
    place.sectionContentEnd = line.next;
    place.sectionContentTerminated = line.next > line.end;
    if (!place.keyFound && SameName(parsed.name, key)) {
      place.keyFound = true;
      place.keyLine = line;
      place.key = parsed;
      break;
    }
  }
  return place;
}

std::string_view LineBreakOf(std::string_view text, std::string_view newTextLineEnd) {
  const std::size_t newline = text.find('\n');
  if (newline == std::string_view::npos) return newTextLineEnd;
  if (newline > 0 && text[newline - 1] == '\r') return "\r\n";
  return "\n";
}

void AppendUtf8(std::string& out, std::uint32_t codePoint) {
  if (codePoint < 0x80) {
    out.push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else if (codePoint < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

// The value as a caller's 256-byte buffer receives it.
std::string_view VisibleValue(std::string_view value) {
  if (HasMatchingQuotes(value)) value = value.substr(1, value.size() - 2);
  const std::size_t zero = value.find('\0');
  if (zero != std::string_view::npos) value = value.substr(0, zero);
  if (value.size() > kIniValueBufferSize - 1) value = value.substr(0, kIniValueBufferSize - 1);
  return value;
}

// Whether the last line of text, which ends with a line break, is blank.
bool LastLineIsBlank(std::string_view text) {
  text.remove_prefix(BomLength(text));
  std::string_view body = text.substr(0, text.size() - 1);
  if (!body.empty() && body.back() == '\r') body.remove_suffix(1);
  const std::size_t newline = body.find_last_of('\n');
  const std::string_view last = newline == std::string_view::npos ? body : body.substr(newline + 1);
  return Trim(last).empty();
}

}  // namespace

std::string IniGetString(std::string_view text, std::string_view section, std::string_view key,
                         std::string_view defaultValue) {
  const KeyPlace place = FindKey(text, section, key);
  if (!place.keyFound || !place.key.hasValue) return std::string(VisibleValue(defaultValue));
  return std::string(VisibleValue(place.key.value));
}

int IniParseInt(std::string_view value, int defaultValue) {
  if (value.empty()) return defaultValue;
  std::size_t i = 0;
  bool negative = false;
  if (value[0] == '+' || value[0] == '-') {
    negative = value[0] == '-';
    i = 1;
  }
  std::uint32_t magnitude = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    magnitude = magnitude * 10u + static_cast<std::uint32_t>(value[i] - '0');
  }
  if (negative) magnitude = 0u - magnitude;
  return static_cast<int>(magnitude);  // modulo 2^32
}

int IniGetInt(std::string_view text, std::string_view section, std::string_view key,
              int defaultValue) {
  const KeyPlace place = FindKey(text, section, key);
  if (!place.keyFound || !place.key.hasValue) return defaultValue;
  return IniParseInt(VisibleValue(place.key.value), defaultValue);
}

bool IniHasKey(std::string_view text, std::string_view section, std::string_view key) {
  return FindKey(text, section, key).keyFound;
}

void IniSetString(std::string& text, std::string_view section, std::string_view key,
                  std::string_view value, std::string_view newTextLineEnd) {
  std::string stored;
  stored.reserve(value.size() + 2);
  for (char c : value) {
    if (c != '\n') stored.push_back(c);
  }
  if (HasMatchingQuotes(stored) ||
      (!stored.empty() && (IsBlank(stored.front()) || IsBlank(stored.back())))) {
    stored = '"' + stored + '"';
  }

  const std::string lineBreak(LineBreakOf(text, newTextLineEnd));
  const KeyPlace place = FindKey(text, section, key);

  if (place.keyFound) {
    if (place.key.hasValue) {
      // keep everything up to and including the blanks after '='
      const std::size_t from = place.key.valueBegin;
      text.replace(from, place.keyLine.end - from, stored);
    } else {
      const std::size_t nameEnd =
          static_cast<std::size_t>(place.key.name.data() - std::string_view(text).data()) +
          place.key.name.size();
      text.replace(nameEnd, place.keyLine.end - nameEnd, "=" + stored);
    }
    return;
  }

  const std::string keyLine = std::string(key) + "=" + stored;
  if (place.sectionFound) {
    if (place.sectionContentTerminated) {
      text.insert(place.sectionContentEnd, keyLine + lineBreak);
    } else {
      text.insert(place.sectionContentEnd, lineBreak + keyLine);
    }
    return;
  }

  if (text.size() > BomLength(text)) {
    if (text.back() != '\n') text += lineBreak;
    if (!LastLineIsBlank(text)) text += lineBreak;
  }
  text += "[";
  text += section;
  text += "]";
  text += lineBreak;
  text += keyLine;
  text += lineBreak;
}

bool IniUtf16ToUtf8(std::string& text) {
  if (text.size() < 2) return false;
  const auto first = static_cast<unsigned char>(text[0]);
  const auto second = static_cast<unsigned char>(text[1]);
  bool little;
  if (first == 0xFF && second == 0xFE) {
    little = true;
  } else if (first == 0xFE && second == 0xFF) {
    little = false;
  } else {
    return false;
  }
  constexpr std::uint32_t kReplacement = 0xFFFD;
  auto unit = [&](std::size_t at) {
    const auto a = static_cast<unsigned char>(text[at]);
    const auto b = static_cast<unsigned char>(text[at + 1]);
    return static_cast<std::uint32_t>(little ? (b << 8 | a) : (a << 8 | b));
  };
  std::string out;
  out.reserve(text.size() * 3 / 2);
  std::size_t i = 2;
  for (; i + 1 < text.size(); i += 2) {
    const std::uint32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < text.size()) {
      const std::uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u);
  }
  if (i < text.size()) AppendUtf8(out, kReplacement);
  text = std::move(out);
  return true;
}
