// The main window's handling of input and commands, shared by the desktop
// window and the headless runner.
#pragma once

enum CommandId {
  ID_GAME_START = 40001,
  ID_GAME_STOP = 40002,
  ID_GAME_EXIT = 40003,
  ID_SETTINGS_RAPID = 40004,
  ID_HELP_ABOUT = 40005,
  ID_HELP_WINDOWS_HELP = 40006,
  ID_GAME_CLEAR_RANKING = 40007,
  ID_SETTINGS_SOUND = 40008,
  ID_SETTINGS_WAIT = 40009,
  ID_GAME_SHARED_RANKING = 40010,
};

// Left button pressed at client (x, y): a shot in play mode, one per frame.
void OnLeftButtonDown(int x, int y);
// Pointer moved to (x, y): with rapid fire on, a shot in play mode.
void OnMouseMove(int x, int y);
// Shot sound and a player explosion at (x, y).
void FireShot(int x, int y);
// Carries out a menu command; returns false for the commands left to the
// default processing.
bool OnCommand(int id);
// A command chosen from the host's menu. During a playback the menu only
// shows the version and ends the program: the commands that would change
// the world do nothing, and the about dialog is the host's alone. False for
// the commands left to the default processing.
bool RunMenuCommand(int id);
// Whether the menu offers the command during a playback.
bool MenuCommandAllowedInPlayback(int id);
// Close request (close box, Alt+F4, 40003): asks, and on OK runs OnDestroy.
// Returns true when the program ends.
bool OnClose();
// The destroy step: settings saved, sound stopped, the session's record kept,
// quit with code 0.
void OnDestroy();
// The program's orderly end: the destroy step, or, after a replay played
// back (nothing of the player's to save), the sound stopped and the quit.
void EndProgram();
// Whether the destroy step or the end of a playback has asked to quit.
bool ProgramQuitting();
// The playfield is exposed: repainted whole only while one of the program's
// boxes is open.
void OnPaint();

// Menu state for a popup about to open, by its position in the menu bar.
struct MenuItemState {
  int id;
  bool enabled;
  bool checked;
};
// Fills up to 2 item states that change when popup `position` opens and
// returns their number.
int OnInitMenuPopup(int position, MenuItemState* items);

// One frame step of the main loop (app/session.h's SessionRunFrame runs it).
void RunFrame();

// Start-up after the window exists: start values, settings, sound, demo.
void StartUp();

// CenterWindow's arithmetic: the rectangle of a window centred over its
// reference and kept on a screen of the given size.
struct WindowRect {
  int left;
  int top;
  int right;
  int bottom;
};
WindowRect CenterRect(WindowRect window, WindowRect reference, int screenWidth, int screenHeight);
