// Paths on Windows: UTF-8 inside the program, UTF-16 for the W functions.
#pragma once

#include <string>

// The UTF-16 form of a UTF-8 text; empty for invalid UTF-8 or an empty text.
std::wstring WideFromUtf8(const char* text);
// The UTF-8 form of a UTF-16 text; invalid UTF-16 becomes U+FFFD.
std::string Utf8FromWide(const wchar_t* text, std::size_t length);
std::string Utf8FromWide(const std::wstring& text);

bool IsPathSeparator(wchar_t c);
// Everything before the last separator, or "." for a bare name; a root
// ("C:\", "\") stays whole.
std::wstring FolderOf(const std::wstring& path);
// Everything after the last separator.
std::wstring BaseOf(const std::wstring& path);

// True when path names a device rather than a file: the device namespace
// ("\\.\...", "\\?\" other than a drive or a share) or a reserved DOS name in
// any folder (CON, NUL, COM1, "nul.txt", ...). Opening one can block or have
// effects of its own, so such a path is refused before any open.
bool NamesDevice(const std::wstring& path);
