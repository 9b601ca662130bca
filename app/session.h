// The session step that every host shares: how a session starts, when a
// frame is due and what runs then, what the host's input becomes, the menu's
// state, the window title, and when the session's record is kept. A host
// turns its system's events into these calls and shows the surface when a
// step says so.
#pragma once

#include <cstddef>
#include <string>

#include "app/window_proc.h"
#include "online/shared_ranking.h"
#include "replay/replay_file.h"
#include "replay/script.h"

// The period of the frame tick.
constexpr int kFramePeriodMs = 20;

enum class SessionKind {
  None,    // no session begun (the tests of single routines)
  Play,    // the player's own: the settings file read and written, recorded
  Replay,  // a recorded session watched, or the page's test script
  Script,  // the runner's script
};

// Before StartSession, one of these. The player's own session, its record
// kept in DefaultReplaysFolder() when keepReplays.
void BeginPlaySession(bool keepReplays);
// A replay watched (LoadReplayFile's), or the page's test script as one.
void BeginReplaySession(const ReplaySession& session);
// The runner's script, from settingsText (null: the settings file's).
void BeginRunnerScript(const std::vector<ScriptEvent>& events, const std::string* settingsText);

// Start-up (StartUp) and, for a script, the events of frame 0.
void StartSession();
SessionKind CurrentSessionKind();

// The 20 ms tick: a frame is due.
void SessionTick();
// Whether SessionStep would run anything now: a frame whose tick has come
// (or any time with WaitFlag 0 in the player's own session), or a slice of
// a replay's jump; nothing once a replay has ended or the program quit.
bool SessionFrameDue();

struct StepOutcome {
  bool ran = false;    // something ran: look for more work before waiting
  bool frame = false;  // a frame was run and shown
  bool show = false;   // the surface changed: show it
};
// Runs what is due (see SessionFrameDue).
StepOutcome SessionStep();
// Runs one frame and counts it; after a game of the player's own session the
// record so far is kept. Every frame of every host comes through here.
void SessionRunFrame();
// Frames run since the session started.
long long SessionFramesRun();
// Whether a replay is jumping unseen to its chosen game.
bool SessionJumping();

// The host's input. Clicks and moves on the playfield (client coordinates
// of the game) do nothing while a script or replay plays.
void SessionClick(int x, int y);
void SessionMove(int x, int y);
// A command from the menu; false for the commands left to the system's
// default processing.
bool SessionMenuCommand(int id);
// The window's close box (or the exit command's posted close): a replay ends
// at once, the player is asked. True when the program ends.
bool SessionCloseRequest();
// The playfield is exposed: repainted whole while one of the boxes is open
// (not during a replay, which draws only what it recorded).
void SessionPaint();

// The state of every command item of popup `position` (0..2) as it opens:
// greyed and checked by the game's rules, and during a replay everything but
// the about dialog and the exit greyed. Returns the number of items filled
// (at most kMaxPopupItems).
constexpr int kMaxPopupItems = 6;
int SessionMenuState(int position, MenuItemState* items);

// The window's title: the program's, and for a replay its state.
const char* SessionTitle();

// Where a replay is, told by the player.
enum class PlaybackState { Playing, Jumping, Ended };
void SessionPlaybackChanged(PlaybackState state);

// How a replay is shown; the game itself is the same at every speed.
enum class PlaybackControl {
  Pause,     // pause, or go on when paused
  Frame,     // paused: one frame on
  Speed1,    // 50 frames a second
  Speed2,    // 2x
  Speed4,    // 4x
  NextGame,  // jump unseen to the start of the next game
};
// Applies a control to the replay being watched; false when no replay is
// watched or the control does nothing now.
bool SessionPlaybackControl(PlaybackControl control);
// A key typed during a replay (its character): space pauses and goes on,
// "." steps one frame, "1", "2" and "4" set the speed, "n" jumps to the next
// game. True when the key was one of them and a replay is watched.
bool SessionPlaybackKey(int character);
// The keys, for a status line or a tool tip during a replay.
extern const char kPlaybackKeysHint[];

// The shared ranking (online/shared_ranking.h). The answer of a request the
// host started (host/network.h); it is taken up at the next step, never in
// the middle of one.
void SessionHttpAnswer(int id, int status, const std::string& body);
// The dialog's actions: the player's choices (saved in the settings file at
// once), a new look at the rankings, a row's game played in a replay.
void SessionSetOnline(const OnlineSettings& settings);
void SessionRefreshSharedRanking();
void SessionWatchSharedReplay(SharedPeriod period, int row);

// The system may end the program without notice (the page hidden, the
// desktop session ending): the player's settings and ranking are saved now.
void SessionSaveNow();

// The ranking changed in the player's own session (a game entered it, or it
// was cleared): it is saved now, merged with the file's (records/settings.h);
// the three settings wait for the exit. Nothing during a script or a replay,
// nor once the program quits. The first failure of a session is told to the
// player in a notice.
void SessionSaveRanking();

// The session ends while the name-entry dialog is open, and the dialog may
// not return before the program is gone: the text typed so far (length bytes
// of UTF-8, not yet cleaned) names the new row now, so that the saves of the
// end keep it. Nothing when no name is being asked for.
void SessionKeepTypedName(const char* typed, std::size_t length);

// The orderly end from outside the window (signal, end of the desktop
// session, the window destroyed): the destroy step once, or for a replay the
// sound stopped and the quit.
void SessionEnd();
// Whether the program has asked to quit.
bool SessionQuitting();
// The destroy step's last part: the player's session record kept.
void StoreSessionRecord();
