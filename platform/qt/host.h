// The desktop host: the main window, the 20 ms tick, the main loop and the
// orderly ends of the program (confirmed close, termination signals, end of
// the desktop session).
#pragma once

class QApplication;
class QTimer;

namespace tavro_qt {

class MainWindow;

// Everything the program does before its first frame that belongs to the
// host: the executable's folder as the current directory and BaseDirectory,
// the settings file's path, the playfield's font. Needs the QApplication.
void PrepareHost();

// Creates the main window and the 20 ms tick (not yet shown or started).
MainWindow* CreateHost();
MainWindow* HostWindow();
QTimer* FrameTimer();

// The tick: sets World.frameTick and nothing else.
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

// SIGTERM, SIGINT and SIGHUP end the program in order (settings and ranking
// saved) through the main loop.
void InstallTerminationHandlers();
// An orderly end requested from outside the window (signal, session end):
// open boxes are closed, no new ones are shown, and the main loop runs the
// destroy step at its next pass.
void RequestShutdown();
bool ShutdownRequested();

// The whole desktop program; main() calls it.
int RunDesktopProgram(int argc, char** argv);

}  // namespace tavro_qt
