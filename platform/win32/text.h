// The program keeps its text in UTF-8; Windows takes UTF-16 through the W
// functions. These convert between the two, and from the system's ANSI code
// page that older files were written in.
#pragma once

#include <string>
#include <string_view>

namespace tavro_win32 {

// UTF-8 to UTF-16; malformed bytes become U+FFFD.
std::wstring Widen(std::string_view utf8);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view utf16);
// Text in the given code page (CP_ACP: the system's ANSI code page) to UTF-8.
std::string CodePageToUtf8(std::string_view text, unsigned codePage);
// Text of an older file in an unknown encoding to UTF-8: kept as it is when
// it is valid UTF-8, else read as Shift-JIS (code page 932) when every byte
// of it is, else in fallbackCodePage.
std::string LegacyTextToUtf8(std::string_view text, unsigned fallbackCodePage);

}  // namespace tavro_win32
