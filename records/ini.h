// Private-profile (INI) text held in memory: the reading and writing rules of
// the classic profile functions, applied to a whole file's text.
//
// - Section and key names match without regard to ASCII case.
// - When a section or a key is present twice, the first one is read and
//   written; a later duplicate is never seen.
// - A value is read without surrounding blanks; a value in one pair of
//   matching quotes ("..." or '...') is read without them.
// - String reads see at most 255 bytes of a value, as through a 256-byte
//   buffer, and stop at a zero byte.
// - Writes create the section and the key as needed, replace an existing
//   value in place and leave every other line as it was. New lines take the
//   text's line-ending style ("\n" or "\r\n", as its first line ends), or
//   the caller's for a text without any line break yet.
//
// - A UTF-8 byte-order mark at the start of the text is skipped when reading
//   and kept when writing.
//
// Any bytes are accepted as input; lines that are neither a section header
// nor a key are kept and skipped.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Size of the buffer the string reads behave as if reading into.
constexpr std::size_t kIniValueBufferSize = 256;

// The value of key in section, or defaultValue when the key is missing.
std::string IniGetString(std::string_view text, std::string_view section, std::string_view key,
                         std::string_view defaultValue);

// The value of key in section read as a decimal integer (IniParseInt), or
// defaultValue when the key is missing or its value is empty.
int IniGetInt(std::string_view text, std::string_view section, std::string_view key,
              int defaultValue);

// A decimal integer: an optional sign and the digits up to the first other
// character; 0 when there are no digits; defaultValue for an empty value. A
// number too large for 32 bits wraps modulo 2^32.
int IniParseInt(std::string_view value, int defaultValue);

// Whether key is present in section (with or without a value).
bool IniHasKey(std::string_view text, std::string_view section, std::string_view key);

// Sets key in section to value. Line feeds in value are dropped; a value
// that would read back differently (surrounding blanks, or one pair of
// matching quotes around it) is written inside one more pair of double
// quotes, so that IniGetString returns it unchanged. newTextLineEnd ends the
// lines added to a text that has no line break yet.
void IniSetString(std::string& text, std::string_view section, std::string_view key,
                  std::string_view value, std::string_view newTextLineEnd = "\n");

// Text in UTF-16 with a byte-order mark (little- or big-endian, as editors
// save "Unicode" text) becomes UTF-8 without the mark: unpaired surrogates
// and an odd last byte become U+FFFD. False, the text unchanged, for any
// other text.
bool IniUtf16ToUtf8(std::string& text);
