// Windows replacement of a file that a reader sees either whole before or
// whole after: a temporary file in the same folder, flushed, then moved over
// the old one with MoveFileExW (replace, write-through).
//
// Only a regular file the user may write, or nothing, is replaced: a folder,
// a device or a read-only file is refused. The settings file's write follows
// a symbolic link to its target, which must exist; the write of a file in the
// program's own folder never follows a link or other reparse point (the
// move replaces a name, never what a link there points to, and without
// MOVEFILE_REPLACE_EXISTING takes only a free name). The temporary file has
// one fixed name beside the
// target and stays open, shared with nobody, from its creation to the move:
// two saves of one file never write into the same temporary file, and a save
// killed half-way leaves at most that one file, which the next save reuses.

#include <windows.h>

#include <string>

#include "host/files.h"
#include "host/own_folder.h"
#include "platform/win32/files/wide_path.h"

namespace {

// How long a save waits for another process's save of the same file.
constexpr int kLockAttempts = 200;
constexpr DWORD kLockPauseMilliseconds = 10;
constexpr DWORD kMaxChunk = 1u << 20;

bool UsableBase(const std::wstring& path) {
  const std::wstring base = BaseOf(path);
  // a colon would name an alternate data stream of the file
  return !base.empty() && base != L"." && base != L".." && base.find(L':') == std::wstring::npos;
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Creates each missing folder of path, like mkdir -p; the roots and the
// existing folders on the way simply fail to be created.
bool MakeFolders(const std::wstring& path) {
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && !IsPathSeparator(path[i])) continue;
    ::CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
  }
  return IsFolder(path);
}

// The name to replace: path itself, or the final target of a link at path.
// False for a dangling link, a link to anything but a file on a disk, or an
// error.
bool ResolveTarget(const std::wstring& path, std::wstring* target) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    *target = path;
    return true;
  }
  // Opened without any access, only to ask where the link leads.
  const HANDLE file =
      ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = ::GetFileType(file) == FILE_TYPE_DISK;
  wchar_t buffer[1024];
  const DWORD length = ok ? ::GetFinalPathNameByHandleW(file, buffer, 1024, VOLUME_NAME_DOS) : 0;
  ::CloseHandle(file);
  if (length == 0 || length >= 1024) return false;
  target->assign(buffer, length);
  return true;
}

// Whether the existing regular file at path may be replaced: on a disk, not
// a folder, not read-only, and open to this user for writing (asked by
// opening it, which changes nothing).
bool MayReplace(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return false;
  const HANDLE file = ::CreateFileW(
      path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool regular =
      ::GetFileType(file) == FILE_TYPE_DISK && ::GetFileInformationByHandle(file, &info) != 0 &&
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
  ::CloseHandle(file);
  return regular;
}

// What a leftover temporary file may not be: its attributes would pass to
// the replaced file (a read-only one could never be saved again).
constexpr DWORD kOddAttributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                                 FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                 FILE_ATTRIBUTE_SYSTEM;

// Opens the temporary file empty, shared with nobody but a rename, reusing
// one left by a save that was cut short. Whatever else stood under the name
// (a link, a folder, a hard link to another file, a read-only file) is
// removed once. INVALID_HANDLE_VALUE on failure.
HANDLE OpenTemporary(const std::wstring& temp) {
  bool removed = false;
  const auto removeOnce = [&]() {
    if (removed) return false;
    removed = true;
    const DWORD attributes = ::GetFileAttributesW(temp.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
      ::SetFileAttributesW(temp.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    return ::DeleteFileW(temp.c_str()) != 0;
  };
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    const HANDLE file =
        ::CreateFileW(temp.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      if (::GetLastError() == ERROR_SHARING_VIOLATION) {
        ::Sleep(kLockPauseMilliseconds);  // another save holds it
        continue;
      }
      if (!removeOnce()) return INVALID_HANDLE_VALUE;
      continue;
    }
    const bool created = ::GetLastError() != ERROR_ALREADY_EXISTS;
    BY_HANDLE_FILE_INFORMATION info;
    const bool plain =
        ::GetFileType(file) == FILE_TYPE_DISK && ::GetFileInformationByHandle(file, &info) != 0 &&
        (created || ((info.dwFileAttributes & kOddAttributes) == 0 && info.nNumberOfLinks == 1));
    if (!plain) {
      ::CloseHandle(file);
      if (!removeOnce()) return INVALID_HANDLE_VALUE;
      continue;
    }
    if (!::SetEndOfFile(file)) {  // the position is 0 after the open
      ::CloseHandle(file);
      return INVALID_HANDLE_VALUE;
    }
    return file;
  }
  return INVALID_HANDLE_VALUE;
}

bool WriteAll(HANDLE file, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size < kMaxChunk ? static_cast<DWORD>(size) : kMaxChunk;
    DWORD written = 0;
    if (!::WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

// Moves the temporary file, still held so that no other save can write into
// it first, over the target. A reader that opened the target without
// sharing its deletion (an editor, a virus scanner) holds the move up for a
// moment; the move is tried again while it lasts.
bool MoveOver(const std::wstring& temp, const std::wstring& target) {
  for (int attempt = 0;; ++attempt) {
    if (::MoveFileExW(temp.c_str(), target.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    const DWORD error = ::GetLastError();
    if (attempt + 1 >= kLockAttempts ||
        (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED)) {
      return false;
    }
    // a target made read-only meanwhile fails at once
    if (::GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_READONLY) return false;
    ::Sleep(kLockPauseMilliseconds);
  }
}

// Closes the held temporary file and has it removed.
void Discard(HANDLE file) {
  FILE_DISPOSITION_INFO dispose = {TRUE};
  ::SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof dispose);
  ::CloseHandle(file);
}

std::wstring TemporaryOf(const std::wstring& target) {
  const std::wstring folder = FolderOf(target);
  const bool rooted = !folder.empty() && IsPathSeparator(folder.back());
  return folder + (rooted ? L"" : L"\\") + L"." + BaseOf(target) + L".tmp";
}

// The temporary file of target, written and flushed, still held; or
// INVALID_HANDLE_VALUE with nothing left behind.
HANDLE WriteTemporary(const std::wstring& temp, const void* data, std::size_t size) {
  const HANDLE file = OpenTemporary(temp);
  if (file == INVALID_HANDLE_VALUE) return file;
  if (WriteAll(file, static_cast<const char*>(data), size) && ::FlushFileBuffers(file) != 0) {
    return file;
  }
  Discard(file);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

bool PlatformWriteFileAtomically(const char* path, const void* data, std::size_t size) {
  if (path == nullptr || path[0] == '\0' || (data == nullptr && size > 0)) return false;
  const std::wstring given = WideFromUtf8(path);
  if (given.empty() || NamesDevice(given) || !UsableBase(given)) return false;
  if (!MakeFolders(FolderOf(given))) return false;
  std::wstring target;
  if (!ResolveTarget(given, &target) || !UsableBase(target) || NamesDevice(target)) return false;

  // A regular file the user may write, or nothing.
  if (::GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
    if (!MayReplace(target)) return false;
  } else if (::GetLastError() != ERROR_FILE_NOT_FOUND) {
    return false;
  }

  const std::wstring temp = TemporaryOf(target);
  const HANDLE file = WriteTemporary(temp, data, size);
  if (file == INVALID_HANDLE_VALUE) return false;
  if (!MoveOver(temp, target)) {
    Discard(file);
    return false;
  }
  ::CloseHandle(file);
  return true;
}

WriteFailure PlatformWriteRegularFile(const char* path, const void* data, std::size_t size,
                                      WriteMode mode) {
  if (path == nullptr || path[0] == '\0' || (data == nullptr && size > 0)) {
    return WriteFailure::Failed;
  }
  const std::wstring target = WideFromUtf8(path);
  if (target.empty() || NamesDevice(target) || !UsableBase(target)) return WriteFailure::Failed;
  if (!MakeFolders(FolderOf(target))) return WriteFailure::Failed;

  // GetFileAttributesW tells of a link itself, never of its target. Looked
  // at first so that a taken name costs no writing; the move decides all the
  // same.
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (mode == WriteMode::CreateNew) return WriteFailure::Exists;
    if (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) {
      return WriteFailure::NotRegular;
    }
    if (!MayReplace(target)) return WriteFailure::Failed;
  } else if (::GetLastError() != ERROR_FILE_NOT_FOUND) {
    return WriteFailure::Failed;
  }

  const std::wstring temp = TemporaryOf(target);
  const HANDLE file = WriteTemporary(temp, data, size);
  if (file == INVALID_HANDLE_VALUE) return WriteFailure::Failed;
  WriteFailure result = WriteFailure::None;
  if (mode == WriteMode::CreateNew) {
    if (!::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
      const DWORD error = ::GetLastError();
      result = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? WriteFailure::Exists
                                                                           : WriteFailure::Failed;
    }
  } else if (!MoveOver(temp, target)) {
    result = WriteFailure::Failed;
  }
  if (result != WriteFailure::None) {
    Discard(file);
  } else {
    ::CloseHandle(file);
  }
  return result;
}
