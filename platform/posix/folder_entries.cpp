// POSIX listing of a folder and removal of one of its files, neither of which
// follows a symbolic link: the kind of an entry comes from the folder itself
// (d_type, or lstat where the file system does not say).

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "host/files.h"
#include "host/own_folder.h"

namespace {

EntryKind KindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return EntryKind::Regular;
  if (S_ISDIR(mode)) return EntryKind::Folder;
  if (S_ISLNK(mode)) return EntryKind::Link;
  return EntryKind::Other;
}

EntryKind KindOf(int folder, const dirent& entry) {
  switch (entry.d_type) {
    case DT_REG:
      return EntryKind::Regular;
    case DT_DIR:
      return EntryKind::Folder;
    case DT_LNK:
      return EntryKind::Link;
    case DT_UNKNOWN:
      break;
    default:
      return EntryKind::Other;
  }
  struct stat info;
  if (::fstatat(folder, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::Other;
  return KindOfMode(info.st_mode);
}

}  // namespace

bool PlatformListFolder(const char* folder, std::size_t maxEntries,
                        std::vector<FolderEntry>* entries) {
  entries->clear();
  if (folder == nullptr || folder[0] == '\0') return false;
  const int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* listing = ::fdopendir(fd);
  if (listing == nullptr) {
    ::close(fd);
    return false;
  }
  bool ok = true;
  while (entries->size() < maxEntries) {
    errno = 0;
    const dirent* entry = ::readdir(listing);
    if (entry == nullptr) {
      ok = errno == 0;
      break;
    }
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    entries->push_back({name, KindOf(fd, *entry)});
  }
  ::closedir(listing);  // closes fd as well
  if (!ok) entries->clear();
  return ok;
}

bool PlatformRemoveRegularFile(const char* path) {
  if (path == nullptr || path[0] == '\0') return false;
  struct stat info;
  if (::lstat(path, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  // unlink removes a name and never follows it: should a link have taken the
  // file's place since the look above, the link goes, not what it names.
  return ::unlink(path) == 0;
}
