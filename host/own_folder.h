// Files of a folder the program keeps as its own (the replays folder): what
// it writes, reads, removes and lists there never goes through a symbolic
// link out of it. Implemented beside host/files.h's calls by each system's
// file layer.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "host/files.h"

// How PlatformWriteRegularFile treats what already stands at its path.
enum class WriteMode {
  CreateNew,       // nothing may stand there, not even a dangling link
  ReplaceRegular,  // a regular file there is replaced; nothing there is created
};

// Why PlatformWriteRegularFile wrote nothing.
enum class WriteFailure {
  None,        // written
  Exists,      // CreateNew: something (a file, link, folder, ...) stands at path
  NotRegular,  // ReplaceRegular: a link, folder, device, FIFO or socket stands at path
  Failed,      // any other error (a read-only file, no permission, a full disk)
};

// Writes the bytes as a regular file at path, for a folder the program keeps
// as its own: never through a symbolic link (nor any other reparse point on
// Windows), so nothing outside the folder is ever written or created. Like
// PlatformWriteFileAtomically, a reader sees the whole old file, the whole
// new one or none, and missing parent folders are created. With CreateNew,
// two writers of one name never both succeed: the loser gets Exists. What
// stood at path is left as it was on every failure.
WriteFailure PlatformWriteRegularFile(const char* path, const void* data, std::size_t size,
                                      WriteMode mode);

// PlatformOpenForReading that never follows a symbolic link (nor any other
// reparse point on Windows): a link at path is refused as NotRegular.
std::FILE* PlatformOpenRegularForReading(const char* path, unsigned long long maxBytes,
                                         OpenFailure* failure);

// ReadWholeFile (host/files.h) through PlatformOpenRegularForReading.
OpenFailure ReadWholeRegularFile(const char* path, unsigned long long maxBytes, std::string* text);

// Removes the regular file at path. A link (or other reparse point) is
// neither removed nor followed, and neither is a folder, device, FIFO or
// socket. Returns true when the file was removed, false otherwise (nothing
// there, something else there, no permission).
bool PlatformRemoveRegularFile(const char* path);

// What a folder holds under a name, as the folder itself holds it.
enum class EntryKind {
  Regular,  // a regular file
  Folder,
  Link,   // a symbolic link (on Windows any reparse point), never followed
  Other,  // a device, FIFO, socket or anything unknown
};

struct FolderEntry {
  std::string name;  // UTF-8, without the folder
  EntryKind kind;
};

// Lists the entries of folder (not "." and "..") into *entries, in the
// system's order, at most maxEntries of them: a larger folder gives only
// some of its entries, so that a listing costs bounded work. Nothing is
// opened and no link is followed. Returns false, with *entries empty, when
// the folder cannot be read (missing, not a folder, no permission).
bool PlatformListFolder(const char* folder, std::size_t maxEntries,
                        std::vector<FolderEntry>* entries);
