#include "records/name_width.h"

#include <algorithm>
#include <iterator>

namespace {

struct CodePointRange {
  unsigned first;
  unsigned last;
};

constexpr CodePointRange kWideCharacters[] = {
#include "records/wide_characters.inc"
};

// Columns and bytes of the character (or malformed byte) at the front of text.
int FrontColumns(std::string_view text, std::size_t* bytes) {
  unsigned codePoint = 0;
  const int length =
      Utf8CharLength(reinterpret_cast<const unsigned char*>(text.data()), text.size(), &codePoint);
  if (length == 0) {
    *bytes = 1;
    return 1;
  }
  *bytes = static_cast<std::size_t>(length);
  return CodePointColumns(codePoint);
}

}  // namespace

int Utf8CharLength(const unsigned char* s, std::size_t available, unsigned* codePoint) {
  if (available == 0) return 0;
  const unsigned char lead = s[0];
  if (lead < 0x80) {
    *codePoint = lead;
    return 1;
  }
  int length;
  unsigned low = 0x80;
  unsigned high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (available < static_cast<std::size_t>(length)) return 0;
  if (s[1] < low || s[1] > high) return 0;
  unsigned value = lead & (0xFFu >> (length + 1));
  for (int i = 1; i < length; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    value = (value << 6) | (s[i] & 0x3Fu);
  }
  *codePoint = value;
  return length;
}

int CodePointColumns(unsigned codePoint) {
  const auto* end = std::end(kWideCharacters);
  const auto* range =
      std::lower_bound(std::begin(kWideCharacters), end, codePoint,
                       [](const CodePointRange& r, unsigned value) { return r.last < value; });
  return range != end && range->first <= codePoint ? 2 : 1;
}

int NameColumns(std::string_view text) {
  int columns = 0;
  while (!text.empty()) {
    std::size_t bytes = 0;
    columns += FrontColumns(text, &bytes);
    text.remove_prefix(bytes);
  }
  return columns;
}

std::size_t NamePrefixWithinColumns(std::string_view text, int maxColumns) {
  std::size_t prefix = 0;
  int columns = 0;
  while (prefix < text.size()) {
    std::size_t bytes = 0;
    columns += FrontColumns(text.substr(prefix), &bytes);
    if (columns > maxColumns) break;
    prefix += bytes;
  }
  return prefix;
}
