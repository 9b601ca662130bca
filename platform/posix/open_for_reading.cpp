// POSIX opening of a file to read that can neither block nor run away: only a
// regular file of bounded size is opened, non-blocking, and checked again
// through the descriptor itself before it is handed out as a stream. One
// opening follows symbolic links, the other refuses them (lstat, O_NOFOLLOW).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "host/files.h"
#include "host/own_folder.h"

namespace {

std::FILE* Fail(OpenFailure reason, OpenFailure* failure, int fd = -1) {
  if (fd >= 0) ::close(fd);
  if (failure != nullptr) *failure = reason;
  return nullptr;
}

// Why a file of this kind and size is not read, or None.
OpenFailure Refusal(const struct stat& info, unsigned long long maxBytes) {
  if (!S_ISREG(info.st_mode)) return OpenFailure::NotRegular;
  if (info.st_size < 0 || static_cast<unsigned long long>(info.st_size) > maxBytes) {
    return OpenFailure::TooLarge;
  }
  return OpenFailure::None;
}

std::FILE* Open(const char* path, unsigned long long maxBytes, OpenFailure* failure,
                bool followLinks) {
  if (path == nullptr || path[0] == '\0') return Fail(OpenFailure::Missing, failure);
  // Looked at before opening: opening a device can have effects of its own
  // (a tape rewinds, a modem line rises), so anything but a file is refused
  // unopened.
  struct stat info;
  if ((followLinks ? ::stat(path, &info) : ::lstat(path, &info)) != 0) {
    return Fail(errno == ENOENT || errno == ENOTDIR ? OpenFailure::Missing : OpenFailure::Failed,
                failure);
  }
  OpenFailure refusal = Refusal(info, maxBytes);
  if (refusal != OpenFailure::None) return Fail(refusal, failure);

  // The path may have been replaced since: O_NONBLOCK keeps a FIFO put there
  // from blocking the open, O_NOCTTY keeps a terminal from becoming the
  // controlling one, and the descriptor is checked once more.
  const int fd =
      ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW));
  if (fd < 0) {
    // a link put there since (O_NOFOLLOW's ELOOP)
    if (!followLinks && errno == ELOOP) return Fail(OpenFailure::NotRegular, failure);
    if (errno == ENOENT || errno == ENOTDIR) return Fail(OpenFailure::Missing, failure);
    // a FIFO or socket may refuse the open itself (ENXIO, EOPNOTSUPP)
    if (errno == ENXIO || errno == EOPNOTSUPP) return Fail(OpenFailure::NotRegular, failure);
    return Fail(OpenFailure::Failed, failure);
  }
  if (::fstat(fd, &info) != 0) return Fail(OpenFailure::Failed, failure, fd);
  refusal = Refusal(info, maxBytes);
  if (refusal != OpenFailure::None) return Fail(refusal, failure, fd);
  // Regular files never block; reads go back to the ordinary blocking mode.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    return Fail(OpenFailure::Failed, failure, fd);
  }
  std::FILE* file = ::fdopen(fd, "rb");
  if (file == nullptr) return Fail(OpenFailure::Failed, failure, fd);
  if (failure != nullptr) *failure = OpenFailure::None;
  return file;
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
