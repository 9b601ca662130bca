// What the portable game needs from its host program (the desktop window or
// the headless runner). Each host links exactly one implementation.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

enum class ConfirmBox {
  Exit,          // "プログラムを終了してもいいですか ?"
  ClearRanking,  // "ランキングをクリアしてよろしいですか？"
};

// Shows a confirmation box (OK and Cancel, Cancel the default) and returns
// true when it was answered with OK.
bool PlatformConfirm(ConfirmBox box);

// Runs the modal about dialog until it is closed.
void PlatformAboutDialog();

// Runs the modal name-entry dialog. On a close through the dialog, copies the
// typed UTF-8 text (not yet cleaned or cut) into text, zero-terminated within
// capacity bytes, and returns true; returns false when the dialog could not
// be shown.
bool PlatformNameEntry(char* text, std::size_t capacity);

// Shows the surface as drawn so far and sleeps; the headless host does not
// sleep.
void PlatformSleep(int milliseconds);

// Asks the host to deliver a close request (the exit confirmation follows).
void PlatformPostClose();

// Ends the program after the confirmed close (the destroy step has run).
void PlatformQuit(int exitCode);

// The folder of the running executable in UTF-8, without a trailing
// separator; "." when the system does not tell.
std::string PlatformExecutableFolder();

// Replaces the file at path with the given bytes so that a reader sees
// either the old or the new contents, never a mix: written to a temporary
// file beside it, flushed, then renamed over it. Creates missing parent
// folders. Only a regular file the user may write, or nothing, is replaced;
// a symbolic link is followed to its target (created when missing) and stays
// a link. Returns false (the old file left intact) on any failure or refusal.
bool PlatformWriteFileAtomically(const char* path, const void* data, std::size_t size);

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

// Reads the whole regular file at path, at most maxBytes (also when it grows
// while being read), through PlatformOpenForReading. Returns
// OpenFailure::None with the bytes in *text, or the reason with *text empty.
OpenFailure ReadWholeFile(const char* path, unsigned long long maxBytes, std::string* text);
