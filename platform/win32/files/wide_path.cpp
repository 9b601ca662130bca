#include "platform/win32/files/wide_path.h"

#include <windows.h>

#include <cwctype>

std::wstring WideFromUtf8(const char* text) {
  if (text == nullptr || text[0] == '\0') return std::wstring();
  const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length) - 1);  // the terminator
  return wide;
}

std::string Utf8FromWide(const wchar_t* text, std::size_t length) {
  if (length == 0) return std::string();
  const int wideLength = static_cast<int>(length);
  const int size =
      ::WideCharToMultiByte(CP_UTF8, 0, text, wideLength, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string utf8(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, wideLength, utf8.data(), size, nullptr, nullptr);
  return utf8;
}

std::string Utf8FromWide(const std::wstring& text) {
  return Utf8FromWide(text.data(), text.size());
}

bool IsPathSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

namespace {

// Length of the root of path: "C:\" 3, "C:" 2, "\" 1, "\\server\share\" to
// its end, 0 for a relative path.
std::size_t RootLength(const std::wstring& path) {
  if (path.size() >= 2 && path[1] == L':') {
    return path.size() >= 3 && IsPathSeparator(path[2]) ? 3 : 2;
  }
  if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
    // \\server\share\ (and \\?\C:\, \\?\UNC\server\share\ alike)
    std::size_t at = 2;
    for (int part = 0; part < 2 && at < path.size(); ++part) {
      while (at < path.size() && !IsPathSeparator(path[at])) ++at;
      if (at < path.size()) ++at;
    }
    return at;
  }
  return !path.empty() && IsPathSeparator(path[0]) ? 1 : 0;
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
  return text;
}

}  // namespace

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t root = RootLength(path);
  std::size_t end = path.size();
  while (end > root && !IsPathSeparator(path[end - 1])) --end;
  if (end == 0) return L".";
  if (end <= root) return path.substr(0, root);
  return path.substr(0, end - 1);
}

std::wstring BaseOf(const std::wstring& path) {
  std::size_t start = path.size();
  while (start > 0 && !IsPathSeparator(path[start - 1])) --start;
  if (start == 0 && path.size() >= 2 && path[1] == L':') start = 2;  // "C:name"
  return path.substr(start);
}

bool NamesDevice(const std::wstring& path) {
  if (path.size() >= 4 && IsPathSeparator(path[0]) && IsPathSeparator(path[1]) &&
      (path[2] == L'.' || path[2] == L'?') && IsPathSeparator(path[3])) {
    if (path[2] == L'.') return true;
    const std::wstring rest = Upper(path.substr(4, 4));
    const bool drive = rest.size() >= 3 && rest[1] == L':' && IsPathSeparator(rest[2]);
    return !drive && rest != L"UNC\\";
  }
  // The name up to its first dot or colon, without trailing spaces, as
  // Windows itself matches reserved names.
  std::wstring name = BaseOf(path);
  name = name.substr(0, name.find_first_of(L".:"));
  while (!name.empty() && name.back() == L' ') name.pop_back();
  name = Upper(name);
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
    if (name == device) return true;
  }
  return name.size() == 4 && (name.starts_with(L"COM") || name.starts_with(L"LPT")) &&
         (std::iswdigit(name[3]) || name[3] == L'\u00B9' || name[3] == L'\u00B2' ||
          name[3] == L'\u00B3');
}
