// The desktop host: the main window, the 20 ms tick, the main loop and the
// orderly ends of the program (confirmed close, termination signals, end of
// the desktop session).
#pragma once

#include <QStringList>
#include <string>

class QApplication;
class QTimer;

namespace tavro_qt {

class MainWindow;

// Everything the program does before its first frame that belongs to the
// host: the executable's folder as the current directory and BaseDirectory,
// the playfield's font. Needs the QApplication.
void PrepareHost();

// Creates the main window and the 20 ms tick (not yet shown or started) and
// begins the player's own session.
MainWindow* CreateHost();
MainWindow* HostWindow();
QTimer* FrameTimer();

// The tick: the session's SessionTick.
void FrameTimerProc();

// One pass of the main loop: all pending events, then one frame if a tick
// has come or WaitFlag is 0; otherwise, with waitIfIdle, blocks until the
// next event arrives. Returns true when a frame ran.
bool RunLoopOnce(bool waitIfIdle);
// Runs the main loop until the program quits; returns the exit code.
int RunMainLoop();

// Whether PlatformQuit has been called, and with which code.
bool QuitRequested();
int QuitExitCode();
// Frames run by the main loop since the host was created.
long long FramesRun();

// Measuring aid: with TAVRO_FRAME_LOG set, a moment of the run (an HTTP
// request started or answered) goes to the frame log with the time since
// the main loop began and the frames run by then.
void NoteFrameLogEvent(const char* what, int id, int status);

// SIGTERM, SIGINT and SIGHUP end the program in order (settings and ranking
// saved) through the main loop.
void InstallTerminationHandlers();
// An orderly end requested from outside the window (signal, session end):
// open boxes are closed, no new ones are shown, and the main loop runs the
// destroy step at its next pass.
void RequestShutdown();
// The orderly end itself: the destroy step (settings, ranking and the
// session's record saved), or for a playback simply the quit.
void EndProgramNow();
bool ShutdownRequested();

// The program after the QApplication exists: plays, or with a replay on the
// command line plays it back. A replay that cannot be played is named with
// its reason on standard error and in a message box, and gives status 2.
int RunProgram(const QStringList& arguments);
// The whole desktop program; main() calls it.
int RunDesktopProgram(int argc, char** argv);

}  // namespace tavro_qt
