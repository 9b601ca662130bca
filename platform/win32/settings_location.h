// The one-time move of the old program's settings file from the Windows
// folder to the user's.
#pragma once

#include <string>
#include <vector>

namespace tavro_win32 {

// Where the old program's file may be, most recent first: the per-user
// virtual-store copy, then "%WINDIR%\TAVRO.INI".
std::vector<std::wstring> OldSettingsFileCandidates();

// When nothing exists at newPath (UTF-8), takes the first old file that can
// be read, converts it to UTF-8 (LegacyTextToUtf8: UTF-8 kept, else
// Shift-JIS, else fallbackCodePage) and writes it to newPath (folders
// created). The old file is left as it was. Returns true when a file was
// moved over.
bool MigrateOldSettings(const std::string& newPath, const std::vector<std::wstring>& oldFiles,
                        unsigned fallbackCodePage);

}  // namespace tavro_win32
