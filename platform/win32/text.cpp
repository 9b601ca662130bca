#include "platform/win32/text.h"

#include <windows.h>

#include <climits>

namespace tavro_win32 {
namespace {

// Texts of the program are small; anything beyond int range is cut there.
int Length(std::size_t size) {
  return size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

std::wstring ToWide(std::string_view text, unsigned codePage) {
  if (text.empty()) return std::wstring();
  const int length = Length(text.size());
  const int needed = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), needed);
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

}  // namespace tavro_win32
