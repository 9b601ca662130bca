#include "platform/win32/settings_location.h"

#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "host/files.h"
#include "platform/win32/text.h"

namespace tavro_win32 {
namespace {

// The settings layer reads no larger file.
constexpr unsigned long long kMaxSettingsBytes = 16ull << 20;

// The folder the user's session names in the variable, else the system's.
std::wstring KnownFolder(REFKNOWNFOLDERID id, const wchar_t* variable) {
  const wchar_t* value = _wgetenv(variable);
  std::wstring folder = value != nullptr ? value : L"";
  if (folder.empty()) {
    PWSTR path = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) &&
        path != nullptr) {
      folder = path;
    }
    CoTaskMemFree(path);
  }
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  return folder;
}

bool Exists(const std::string& path) {
  return GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ReadWhole(const std::wstring& path, std::string* text) {
  return ReadWholeFile(Narrow(path).c_str(), kMaxSettingsBytes, text) == OpenFailure::None;
}

}  // namespace

std::vector<std::wstring> OldSettingsFileCandidates() {
  std::vector<std::wstring> files;
  wchar_t windows[MAX_PATH];
  const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return files;
  // With file virtualisation, the old program's writes to the Windows
  // folder landed in the user's virtual store, which it then read first.
  const std::wstring local = KnownFolder(FOLDERID_LocalAppData, L"LOCALAPPDATA");
  const wchar_t* afterDrive = std::wcschr(windows, L':');
  if (!local.empty() && afterDrive != nullptr) {
    files.push_back(local + L"\\VirtualStore" + (afterDrive + 1) + L"\\TAVRO.INI");
  }
  files.push_back(std::wstring(windows) + L"\\TAVRO.INI");
  return files;
}

bool MigrateOldSettings(const std::string& newPath, const std::vector<std::wstring>& oldFiles,
                        unsigned fallbackCodePage) {
  if (newPath.empty() || Exists(newPath)) return false;
  for (const std::wstring& old : oldFiles) {
    std::string text;
    if (!ReadWhole(old, &text)) continue;
    // The old program wrote its names in Shift-JIS whatever the system's
    // code page; a file edited since may be in UTF-8 or the ANSI code page.
    const std::string converted = LegacyTextToUtf8(text, fallbackCodePage);
    return PlatformWriteFileAtomically(newPath.c_str(), converted.data(), converted.size());
  }
  return false;
}

}  // namespace tavro_win32
