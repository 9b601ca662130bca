// What the portable program needs from its host's file system. Paths are
// UTF-8 on every system. Implemented by platform/posix, platform/win32/files
// and platform/web/files.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

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
// on Windows, "/replays" in the page; empty when the system names none or
// keeps no replays.
std::string DefaultReplaysFolder();

// Built on the calls above, the same everywhere (host/read_whole_file.cpp):
// reads the whole regular file at path, at most maxBytes (also when it grows
// while being read). Returns OpenFailure::None with the bytes in *text, or
// the reason with *text empty.
OpenFailure ReadWholeFile(const char* path, unsigned long long maxBytes, std::string* text);

// The line end of the lines in a new text file: "\r\n" on Windows, "\n"
// elsewhere. An existing file keeps its own.
const char* PlatformNewFileLineEnd();
