// Windows listing of a folder and removal of one of its files, neither of
// which follows a symbolic link, junction or other reparse point: the kind of
// an entry comes from the listing's own attributes, and a file is removed
// through a handle to the name itself (FILE_FLAG_OPEN_REPARSE_POINT) once
// that handle shows a plain file.

#include <windows.h>

#include <string>
#include <vector>

#include "host/files.h"
#include "host/own_folder.h"
#include "platform/win32/files/wide_path.h"

namespace {

EntryKind KindOf(DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::Link;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryKind::Folder;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return EntryKind::Other;
  return EntryKind::Regular;
}

}  // namespace

bool PlatformListFolder(const char* folder, std::size_t maxEntries,
                        std::vector<FolderEntry>* entries) {
  entries->clear();
  if (folder == nullptr || folder[0] == '\0') return false;
  const std::wstring wide = WideFromUtf8(folder);
  if (wide.empty() || NamesDevice(wide)) return false;
  const std::wstring pattern = wide + (IsPathSeparator(wide.back()) ? L"*" : L"\\*");
  WIN32_FIND_DATAW found;
  const HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) {
    // only a drive's empty root has no "." to find
    return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  }
  bool ok = true;
  while (entries->size() < maxEntries) {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") {
      entries->push_back({Utf8FromWide(name), KindOf(found.dwFileAttributes)});
    }
    if (!::FindNextFileW(search, &found)) {
      ok = ::GetLastError() == ERROR_NO_MORE_FILES;
      break;
    }
  }
  ::FindClose(search);
  if (!ok) entries->clear();
  return ok;
}

bool PlatformRemoveRegularFile(const char* path) {
  if (path == nullptr || path[0] == '\0') return false;
  const std::wstring wide = WideFromUtf8(path);
  if (wide.empty() || NamesDevice(wide)) return false;
  const HANDLE file =
      ::CreateFileW(wide.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  bool ok =
      ::GetFileType(file) == FILE_TYPE_DISK && ::GetFileInformationByHandle(file, &info) &&
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
  if (ok) {
    FILE_DISPOSITION_INFO dispose = {TRUE};
    ok = ::SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof dispose) != 0;
  }
  ::CloseHandle(file);
  return ok;
}
