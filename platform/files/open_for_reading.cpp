// POSIX opening of a file to read that can neither block nor run away: the
// path is opened non-blocking, checked to be a regular file of bounded size
// through the descriptor itself, and only then handed out as a stream.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/platform.h"

namespace {

std::FILE* Fail(OpenFailure reason, OpenFailure* failure, int fd = -1) {
  if (fd >= 0) ::close(fd);
  if (failure != nullptr) *failure = reason;
  return nullptr;
}

}  // namespace

std::FILE* PlatformOpenForReading(const char* path, unsigned long long maxBytes,
                                  OpenFailure* failure) {
  if (path == nullptr || path[0] == '\0') return Fail(OpenFailure::Missing, failure);
  // O_NONBLOCK: opening a FIFO with no writer would otherwise wait forever.
  // O_NOCTTY: a terminal named here must not become the controlling one.
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return Fail(OpenFailure::Missing, failure);
    // a FIFO or socket may refuse the open itself (ENXIO, EOPNOTSUPP)
    struct stat info;
    if (::stat(path, &info) == 0 && !S_ISREG(info.st_mode)) {
      return Fail(OpenFailure::NotRegular, failure);
    }
    return Fail(OpenFailure::Failed, failure);
  }
  struct stat info;
  if (::fstat(fd, &info) != 0) return Fail(OpenFailure::Failed, failure, fd);
  if (!S_ISREG(info.st_mode)) return Fail(OpenFailure::NotRegular, failure, fd);
  if (info.st_size < 0 || static_cast<unsigned long long>(info.st_size) > maxBytes) {
    return Fail(OpenFailure::TooLarge, failure, fd);
  }
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
