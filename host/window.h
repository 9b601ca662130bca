// What the portable program needs from its host's window: the boxes and
// dialogs, the pauses of the shows, the close and the quit, the title. Each
// host (platform/<host>/) links exactly one implementation.
#pragma once

#include <cstddef>

enum class ConfirmBox {
  Exit,          // "プログラムを終了してもいいですか ?"
  ClearRanking,  // "ランキングをクリアしてよろしいですか？"
  SendReplay,    // a ranked game's replay sent to the shared ranking (kSendReplayText)
};

// Shows a confirmation box (OK and Cancel, Cancel the default) and returns
// true when it was answered with OK; false also when it cannot be shown.
bool PlatformConfirm(ConfirmBox box);

// Runs the modal about dialog until it is closed; nothing when it cannot be
// shown.
void PlatformAboutDialog();

// Runs the modal name-entry dialog. On a close through the dialog, copies the
// typed UTF-8 text (not yet cleaned; cut to whole characters by CopyTypedName)
// into text, zero-terminated within capacity bytes, and returns true; returns
// false when the dialog could not be shown.
bool PlatformNameEntry(char* text, std::size_t capacity);

// Shows the surface as drawn so far and sleeps; a host without a screen does
// not sleep.
void PlatformSleep(int milliseconds);

// Asks the host to deliver a close request (the exit confirmation follows)
// after the input already waiting.
void PlatformPostClose();

// Ends the program after the confirmed close (the destroy step has run).
void PlatformQuit(int exitCode);

// Shows the window's title (UTF-8); a host without a window keeps it.
void PlatformSetTitle(const char* title);

// Tells the player something in a box with OK (UTF-8 text), and returns when
// it was closed; nothing when it cannot be shown, nor while the program is
// being ended from outside.
void PlatformShowNotice(const char* text);
