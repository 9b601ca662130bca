// What the portable program needs from its host's file system. Paths are
// UTF-8 on every system. Implemented by platform/posix, platform/win32/files
// and platform/web/files.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// The longest path, with its terminator, that the program keeps in a fixed
// buffer (the executable's folder, an effect file's path).
constexpr int kMaxPath = 260;

// Why PlatformOpenForReading gave no stream.
enum class OpenFailure {
  None,        // opened
  Missing,     // nothing at the path (a dangling link included)
  NotRegular,  // a folder, device, FIFO or socket: never read
  TooLarge,    // a regular file longer than the caller's limit
  Failed,      // any other error (no permission, I/O error)
};

// Opens the regular file at path for binary reading, without ever blocking
// on what the path names (a FIFO or a device is refused, not opened for
// reading), and only when it holds at most maxBytes bytes. Returns the stream
// (the caller closes it) or nullptr with the reason in *failure, if given.
std::FILE* PlatformOpenForReading(const char* path, unsigned long long maxBytes,
                                  OpenFailure* failure);

// Replaces the file at path with the given bytes so that a reader sees
// either the old or the new contents, never a mix: written to a temporary
// file beside it, flushed, then renamed over it. Creates missing parent
// folders. Only a regular file the user may write, or nothing, is replaced;
// a symbolic link is followed to its target (created when missing) and stays
// a link. Returns false (the old file left intact) on any failure or refusal.
bool PlatformWriteFileAtomically(const char* path, const void* data, std::size_t size);

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
// the folder cannot be read (missing, not a folder, no permission); the page
// has no folders to list and always returns false.
bool PlatformListFolder(const char* folder, std::size_t maxEntries,
                        std::vector<FolderEntry>* entries);

// The folder of the running executable, without a trailing separator; "."
// when the system does not tell.
std::string PlatformExecutableFolder();

// The user's settings file: "$XDG_CONFIG_HOME/tavro/TAVRO.INI" (or
// "~/.config/tavro/TAVRO.INI") on Linux, "%APPDATA%\TAVRO\TAVRO.INI" on
// Windows, "/storage/TAVRO.INI" in the page; empty when the system names no
// such folder.
std::string DefaultSettingsFilePath();

// The user's replays folder: "$XDG_DATA_HOME/tavro/replays" (or
// "~/.local/share/tavro/replays") on Linux, "%LOCALAPPDATA%\TAVRO\replays"
// on Windows; empty when the system names none or keeps no replays.
std::string DefaultReplaysFolder();

// Built on the calls above, the same everywhere (host/read_whole_file.cpp):
// reads the whole regular file at path, at most maxBytes (also when it grows
// while being read). Returns OpenFailure::None with the bytes in *text, or
// the reason with *text empty.
OpenFailure ReadWholeFile(const char* path, unsigned long long maxBytes, std::string* text);

// The line end of the lines in a new text file: "\r\n" on Windows, "\n"
// elsewhere. An existing file keeps its own.
const char* PlatformNewFileLineEnd();
