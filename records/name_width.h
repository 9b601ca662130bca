// Width of a player's name in columns, as names were measured in a double-byte
// code page: a wide East Asian character takes two columns, any other
// character one, and each byte that is not part of valid UTF-8 one.
#pragma once

#include <cstddef>
#include <string_view>

constexpr int kNameMaxColumns = 20;

// Length of the well-formed UTF-8 character at s (at most `available` bytes)
// with its code point, or 0 when the bytes there do not form one.
int Utf8CharLength(const unsigned char* s, std::size_t available, unsigned* codePoint);

// 2 for a code point of East Asian Width W or F, else 1.
int CodePointColumns(unsigned codePoint);

// Columns of a UTF-8 text (possibly malformed).
int NameColumns(std::string_view text);

// Byte length of the longest prefix of whole characters (a malformed byte
// counting as one) that takes at most maxColumns columns.
std::size_t NamePrefixWithinColumns(std::string_view text, int maxColumns);
