// Windows opening of a file to read that can neither block nor run away: only
// a regular file on a disk, of bounded size, is opened; what the path names
// is looked at before the open and checked again through the handle. One
// opening follows symbolic links, the other refuses every reparse point
// (FILE_FLAG_OPEN_REPARSE_POINT opens the link itself, which is then
// refused).

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "host/files.h"
#include "host/own_folder.h"
#include "platform/win32/files/wide_path.h"

namespace {

constexpr int kSharingAttempts = 50;
constexpr DWORD kSharingPauseMilliseconds = 10;

std::FILE* Fail(OpenFailure reason, OpenFailure* failure, HANDLE file = INVALID_HANDLE_VALUE) {
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  if (failure != nullptr) *failure = reason;
  return nullptr;
}

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_INVALID_NAME || error == ERROR_DIRECTORY || error == ERROR_BAD_NETPATH;
}

OpenFailure Refusal(DWORD attributes, unsigned long long size, unsigned long long maxBytes) {
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return OpenFailure::NotRegular;
  return size > maxBytes ? OpenFailure::TooLarge : OpenFailure::None;
}

// Opens path to read, sharing everything. A save that replaces the file
// holds it for a moment without sharing; the open is tried again while that
// lasts, for at most half a second.
HANDLE OpenShared(const std::wstring& path, DWORD flags) {
  for (int attempt = 0;; ++attempt) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, flags, nullptr);
    if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_SHARING_VIOLATION ||
        attempt >= kSharingAttempts) {
      return file;
    }
    ::Sleep(kSharingPauseMilliseconds);
  }
}

std::FILE* Open(const char* path, unsigned long long maxBytes, OpenFailure* failure,
                bool followLinks) {
  if (path == nullptr || path[0] == '\0') return Fail(OpenFailure::Missing, failure);
  const std::wstring wide = WideFromUtf8(path);
  if (wide.empty()) return Fail(OpenFailure::Missing, failure);  // not UTF-8: no such name
  // A device (console, port, pipe) may block or act on an open: refused by
  // its name, unopened.
  if (NamesDevice(wide)) return Fail(OpenFailure::NotRegular, failure);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) {
    return Fail(IsMissing(::GetLastError()) ? OpenFailure::Missing : OpenFailure::Failed, failure);
  }
  const auto sizeOf = [](DWORD high, DWORD low) {
    return (static_cast<unsigned long long>(high) << 32) | low;
  };
  const bool link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (link && !followLinks) return Fail(OpenFailure::NotRegular, failure);
  // a link's own size says nothing; its target is checked through the handle
  if (!link) {
    const OpenFailure refusal =
        Refusal(data.dwFileAttributes, sizeOf(data.nFileSizeHigh, data.nFileSizeLow), maxBytes);
    if (refusal != OpenFailure::None) return Fail(refusal, failure);
  }

  const HANDLE file = OpenShared(
      wide, FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT));
  if (file == INVALID_HANDLE_VALUE) {
    return Fail(IsMissing(::GetLastError()) ? OpenFailure::Missing : OpenFailure::Failed, failure);
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileType(file) != FILE_TYPE_DISK) return Fail(OpenFailure::NotRegular, failure, file);
  if (!::GetFileInformationByHandle(file, &info)) return Fail(OpenFailure::Failed, failure, file);
  // a link put there since the look above
  if (!followLinks && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return Fail(OpenFailure::NotRegular, failure, file);
  }
  const OpenFailure refusal =
      Refusal(info.dwFileAttributes, sizeOf(info.nFileSizeHigh, info.nFileSizeLow), maxBytes);
  if (refusal != OpenFailure::None) return Fail(refusal, failure, file);

  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
  if (fd < 0) return Fail(OpenFailure::Failed, failure, file);
  std::FILE* stream = ::_fdopen(fd, "rb");
  if (stream == nullptr) {
    ::_close(fd);  // closes the handle as well
    return Fail(OpenFailure::Failed, failure);
  }
  if (failure != nullptr) *failure = OpenFailure::None;
  return stream;
}

}  // namespace

std::FILE* PlatformOpenForReading(const char* path, unsigned long long maxBytes,
                                  OpenFailure* failure) {
  return Open(path, maxBytes, failure, true);
}

std::FILE* PlatformOpenRegularForReading(const char* path, unsigned long long maxBytes,
                                         OpenFailure* failure) {
  return Open(path, maxBytes, failure, false);
}
