// POSIX replacement of a file that a reader sees either whole before or whole
// after: a temporary file in the same folder, flushed, renamed over the old.
//
// Only a regular file the user may write, or nothing, is replaced. The
// settings file's write follows symbolic links to their target, which stay
// links; the write of a file in the program's own folder never follows one
// (the temporary file is opened with O_NOFOLLOW and rename replaces a name,
// never what a link there points to). The temporary file has one fixed name
// beside the target, so a save killed half-way leaves at most that one file,
// which the next save reuses.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>
#include <string>

#include "host/files.h"
#include "host/own_folder.h"

namespace {

// Links followed before giving up, as the kernel's own limit.
constexpr int kMaxLinkHops = 40;
// How long a save waits for another process's save of the same file.
constexpr int kLockAttempts = 200;
constexpr long kLockPauseNanoseconds = 10'000'000;

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool UsableBase(const std::string& path) {
  const std::string base = BaseOf(path);
  return !base.empty() && base != "." && base != "..";
}

// Creates each missing folder of path (absolute or relative), like mkdir -p.
bool MakeFolders(const std::string& path) {
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    const std::string prefix = path.substr(0, i);
    if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// The name to replace: path itself, or the end of its chain of symbolic
// links, whether or not that exists yet. False for a loop or an error.
bool ResolveTarget(const std::string& path, std::string* target) {
  std::string current = path;
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    struct stat info;
    if (::lstat(current.c_str(), &info) != 0) {
      if (errno != ENOENT) return false;
      *target = current;
      return true;
    }
    if (!S_ISLNK(info.st_mode)) {
      *target = current;
      return true;
    }
    std::string link(PATH_MAX, '\0');
    const ssize_t length = ::readlink(current.c_str(), link.data(), link.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= link.size()) return false;
    link.resize(static_cast<std::size_t>(length));
    current = link[0] == '/' ? link : FolderOf(current) + "/" + link;
  }
  return false;
}

void PauseForLock() {
  const timespec pause = {0, kLockPauseNanoseconds};
  ::nanosleep(&pause, nullptr);
}

// Opens the temporary file empty and locked, reusing one left by a save that
// was cut short. The lock keeps two processes saving the same file at once
// from writing into one temporary file (where the file system has no locks,
// the save goes on without); the file is emptied only once the lock is held.
// Whatever else stood under the name before (a link, a FIFO, a hard link to
// another file, another user's file) is removed once. -1 on failure.
int OpenTemporary(const std::string& temp) {
  constexpr int kFlags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  bool removed = false;
  const auto removeOnce = [&]() {
    if (removed || ::unlink(temp.c_str()) != 0) return false;
    removed = true;
    return true;
  };
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    int fd = ::open(temp.c_str(), kFlags | O_CREAT | O_EXCL, 0600);
    const bool created = fd >= 0;
    if (!created && errno == EEXIST) fd = ::open(temp.c_str(), kFlags);
    if (fd < 0) {
      if (!removeOnce()) return -1;
      continue;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
      ::close(fd);
      PauseForLock();
      continue;
    }
    struct stat opened;
    struct stat named;
    if (::fstat(fd, &opened) != 0 || ::lstat(temp.c_str(), &named) != 0 ||
        opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
      ::close(fd);  // renamed into place by the save that held the lock
      continue;
    }
    if (!created &&
        (!S_ISREG(opened.st_mode) || opened.st_nlink != 1 || opened.st_uid != ::geteuid())) {
      ::close(fd);
      if (!removeOnce()) return -1;
      continue;
    }
    if (::ftruncate(fd, 0) != 0) {
      ::close(fd);
      return -1;
    }
    return fd;
  }
  return -1;
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  // Some file systems refuse fsync on folders; the rename has happened anyway.
  ::fsync(fd);
  ::close(fd);
}

// The temporary file of target, written, flushed and given the mode (and,
// where allowed, the owner) of the file it replaces (old, when exists).
// Returns its descriptor, still locked, or -1 with nothing left behind.
int WriteTemporary(const std::string& temp, const void* data, std::size_t size, bool exists,
                   const struct stat& old) {
  const int fd = OpenTemporary(temp);
  if (fd < 0) return -1;
  if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
    [[maybe_unused]] const int ignored = ::fchown(fd, old.st_uid, old.st_gid);
  }
  bool ok = ::fchmod(fd, exists ? (old.st_mode & 07777) : 0644) == 0;
  ok = ok && WriteAll(fd, static_cast<const char*>(data), size);
  ok = ok && ::fsync(fd) == 0;
  if (ok) return fd;
  ::unlink(temp.c_str());
  ::close(fd);
  return -1;
}

std::string TemporaryOf(const std::string& target) {
  return FolderOf(target) + "/." + BaseOf(target) + ".tmp";
}

// Puts the written temporary file under target only when nothing stands
// there. link() refuses any name that exists, a dangling link included; a
// file system without hard links gets the name claimed by an exclusive
// create instead, then renamed over.
WriteFailure LinkIntoPlace(const std::string& temp, const std::string& target) {
  if (::link(temp.c_str(), target.c_str()) == 0) {
    ::unlink(temp.c_str());
    return WriteFailure::None;
  }
  if (errno == EEXIST) return WriteFailure::Exists;
  if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOTSUP && errno != EMLINK &&
      errno != ENOSYS) {
    return WriteFailure::Failed;
  }
  const int claim =
      ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (claim < 0) return errno == EEXIST ? WriteFailure::Exists : WriteFailure::Failed;
  ::close(claim);
  if (::rename(temp.c_str(), target.c_str()) == 0) return WriteFailure::None;
  ::unlink(target.c_str());
  return WriteFailure::Failed;
}

}  // namespace

bool PlatformWriteFileAtomically(const char* path, const void* data, std::size_t size) {
  if (path == nullptr || path[0] == '\0' || (data == nullptr && size > 0)) return false;
  const std::string given = path;
  if (!UsableBase(given) || !MakeFolders(FolderOf(given))) return false;
  std::string target;
  if (!ResolveTarget(given, &target) || !UsableBase(target)) return false;

  // A regular file the user may write, or nothing: a device, FIFO, socket or
  // folder is never replaced, and neither is a read-only file.
  struct stat old;
  const bool exists = ::lstat(target.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) return false;
  if (exists && (!S_ISREG(old.st_mode) || ::access(target.c_str(), W_OK) != 0)) return false;

  const std::string temp = TemporaryOf(target);
  const int fd = WriteTemporary(temp, data, size, exists, old);
  if (fd < 0) return false;
  // renamed and removed while the lock is still held
  const bool ok = ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  ::close(fd);  // after fsync, close has nothing left to report
  if (ok) SyncFolder(FolderOf(target));
  return ok;
}

WriteFailure PlatformWriteRegularFile(const char* path, const void* data, std::size_t size,
                                      WriteMode mode) {
  if (path == nullptr || path[0] == '\0' || (data == nullptr && size > 0)) {
    return WriteFailure::Failed;
  }
  const std::string target = path;
  if (!UsableBase(target) || !MakeFolders(FolderOf(target))) return WriteFailure::Failed;

  // Looked at first so that a taken name costs no writing; the rename or
  // link below decides all the same.
  struct stat old;
  const bool exists = ::lstat(target.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) return WriteFailure::Failed;
  if (exists && mode == WriteMode::CreateNew) return WriteFailure::Exists;
  if (exists && !S_ISREG(old.st_mode)) return WriteFailure::NotRegular;
  if (exists && ::access(target.c_str(), W_OK) != 0) return WriteFailure::Failed;

  const std::string temp = TemporaryOf(target);
  const int fd = WriteTemporary(temp, data, size, exists, old);
  if (fd < 0) return WriteFailure::Failed;
  WriteFailure result = WriteFailure::None;
  if (mode == WriteMode::CreateNew) {
    result = LinkIntoPlace(temp, target);
  } else if (::rename(temp.c_str(), target.c_str()) != 0) {
    result = WriteFailure::Failed;
  }
  if (result != WriteFailure::None) ::unlink(temp.c_str());
  ::close(fd);
  if (result == WriteFailure::None) SyncFolder(FolderOf(target));
  return result;
}
