#include "platform/win32/text.h"

#include <windows.h>

#include <climits>

namespace tavro_win32 {
namespace {

// Texts of the program are small; anything beyond int range is cut there.
int Length(std::size_t size) {
  return size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

// With MB_ERR_INVALID_CHARS in flags, false for text with a byte sequence
// the code page does not define; otherwise such bytes become a default
// character.
bool ToWide(std::string_view text, unsigned codePage, DWORD flags, std::wstring* wide) {
  wide->clear();
  if (text.empty()) return true;
  const int length = Length(text.size());
  const int needed = MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
  if (needed <= 0) return false;
  wide->assign(static_cast<std::size_t>(needed), L'\0');
  return MultiByteToWideChar(codePage, flags, text.data(), length, wide->data(), needed) == needed;
}

std::wstring ToWide(std::string_view text, unsigned codePage) {
  std::wstring wide;
  if (!ToWide(text, codePage, 0, &wide)) wide.clear();
  return wide;
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
  return ToWide(utf8, CP_UTF8);
}

std::string Narrow(std::wstring_view utf16) {
  if (utf16.empty()) return std::string();
  const int length = Length(utf16.size());
  const int needed =
      WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::string narrow(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, narrow.data(), needed, nullptr, nullptr);
  return narrow;
}

std::string CodePageToUtf8(std::string_view text, unsigned codePage) {
  return Narrow(ToWide(text, codePage));
}

std::string LegacyTextToUtf8(std::string_view text, unsigned fallbackCodePage) {
  std::wstring wide;
  // UTF-8 is tried first: Japanese in UTF-8 is nearly always well-formed
  // Shift-JIS too (E3 81 82 E3 81 84, "あい", reads as three other
  // characters), while Shift-JIS text almost never happens to be well-formed
  // UTF-8 (its lead bytes 81-9F are UTF-8 continuation bytes, and E0-EF
  // would need two continuation bytes after them).
  if (ToWide(text, CP_UTF8, MB_ERR_INVALID_CHARS, &wide)) return std::string(text);
  if (ToWide(text, 932, MB_ERR_INVALID_CHARS, &wide)) return Narrow(wide);
  return CodePageToUtf8(text, fallbackCodePage);
}

}  // namespace tavro_win32
