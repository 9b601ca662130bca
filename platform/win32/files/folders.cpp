// Where things are on Windows: the running executable's folder and the
// user's settings file, in UTF-8.

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <string>

#include "host/files.h"
#include "platform/win32/files/wide_path.h"

std::string PlatformExecutableFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return ".";
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    if (path.size() >= 32768) return ".";  // longer than any Windows path
    path.resize(path.size() * 2);
  }
  return Utf8FromWide(FolderOf(path));
}

namespace {

// The folder the user's session names in the variable, else the system's
// known folder; with a separator at its end, or empty when neither is set.
std::wstring UserFolder(const wchar_t* variable, REFKNOWNFOLDERID id) {
  std::wstring folder;
  const DWORD size = ::GetEnvironmentVariableW(variable, nullptr, 0);
  if (size > 1) {
    folder.resize(size);
    const DWORD length = ::GetEnvironmentVariableW(variable, folder.data(), size);
    folder.resize(length < size ? length : 0);
  }
  if (folder.empty()) {
    wchar_t* known = nullptr;
    if (::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &known) == S_OK) {
      folder = known;
    }
    ::CoTaskMemFree(known);
  }
  if (!folder.empty() && !IsPathSeparator(folder.back())) folder += L'\\';
  return folder;
}

}  // namespace

std::string DefaultSettingsFilePath() {
  // APPDATA as the user's session sets it, else the folder it names
  const std::wstring folder = UserFolder(L"APPDATA", FOLDERID_RoamingAppData);
  return folder.empty() ? std::string() : Utf8FromWide(folder + L"TAVRO\\TAVRO.INI");
}

std::string DefaultReplaysFolder() {
  const std::wstring folder = UserFolder(L"LOCALAPPDATA", FOLDERID_LocalAppData);
  return folder.empty() ? std::string() : Utf8FromWide(folder + L"TAVRO\\replays");
}

// As the system's own profile functions write.
const char* PlatformNewFileLineEnd() {
  return "\r\n";
}
