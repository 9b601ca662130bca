// The shared ranking's client: the player's online choices (kept in the
// settings file's "Online" section), the replays that wait to be sent (an
// outbox folder beside the replays), their uploads and the server's
// answers, the three rankings shown in the dialog, and a ranked game's
// replay fetched for watching.
//
// Nothing here opens a connection while online play is off. Every request
// goes through PlatformHttpStart (host/network.h) and every answer comes
// back through OnlineHandleAnswer between frames, so no frame ever waits on
// the network.
#pragma once

#include <string>

// The rankings the server keeps, in the dialog's tab order.
enum class SharedPeriod { Week, Month, All };
constexpr int kSharedPeriodCount = 3;
constexpr int kSharedRankingRows = 10;

struct SharedRankingRow {
  int place = 0;
  int score = 0;
  int level = 0;  // 0-based, as in the world; shown 1-based
  int game = 0;   // 1-based game of the replay
  std::string name;
  std::string replay;  // the replay's id on the server
};

enum class FetchState {
  Off,          // online play is off: nothing asked
  Loading,      // asked, no answer yet
  Loaded,       // rows hold the server's answer (maybe none)
  Unreachable,  // no answer came: the server could not be reached
  Failed,       // the server answered with an error
};

struct SharedRankingTable {
  FetchState state = FetchState::Off;
  int count = 0;
  SharedRankingRow rows[kSharedRankingRows];
};

// The player's choices.
struct OnlineSettings {
  bool enabled = false;   // online play on: the player agreed to send replays
  std::string server;     // "http://host:port"; empty: the host's default
  bool autoSend = false;  // send after a ranked game without asking
};

// What the dialog shows.
struct SharedRankingViewData {
  OnlineSettings settings;
  std::string server;  // the address in use (settings.server or the default)
  SharedRankingTable tables[kSharedPeriodCount];
  std::string status;     // the newest outcome of a sent replay, or empty
  int waiting = 0;        // replays waiting to be sent
  bool watching = false;  // a replay is being fetched for watching
};
const SharedRankingViewData& SharedRankingView();

// The texts of the dialog and of the box that asks before a replay is sent.
// Each host uses these; the Windows program's resource script has the same.
extern const char kSharedRankingMenuItem[];  // "ネットランキング(&N)..."
extern const char kSharedRankingCaption[];   // the dialog's caption
extern const char kSharedPeriodTitles[kSharedPeriodCount][16];
extern const char kOnlineEnableLabel[];  // the check box that turns it on
extern const char kOnlineServerLabel[];
extern const char kOnlineAutoSendLabel[];
extern const char kOnlineWatchLabel[];  // the button that plays a row's game
extern const char kOnlineRefreshLabel[];
extern const char kOnlineDisclosure[];  // what is sent and what becomes public
// The state line of a table (empty when its rows speak for themselves).
const char* SharedTableStateText(const SharedRankingTable& table);
// "名前", "スコア", "レベル" column titles, in order: place, name, score, level.
extern const char kSharedColumnTitles[4][16];

// A server address as the player typed it made usable: surrounding blanks
// dropped, "http://" added when no scheme is given, a trailing "/" dropped.
// Empty when it is not an http:// or https:// address with a host.
std::string NormalizeServerAddress(const std::string& typed);

// Reads the "Online" section of a settings file's text.
OnlineSettings ReadOnlineSettings(const std::string& settingsText);

// ---- Called by the session (app/session.cpp) -----------------------------

// Start of the player's own session: the choices read from the settings
// file, and with online play on, the waiting replays sent and the rankings
// asked for. In replaysFolder (empty: none, and a replay that cannot be sent
// now is not kept), "outbox" keeps the replays waiting to be sent and
// "shared" the ones fetched for watching.
void OnlineStart(const std::string& replaysFolder);
// A game of the player's session entered the session's ranking and the
// session's record (text) was kept as recordName: with online play on it
// is sent, after asking unless the standing choice says to send.
void OnlineGameRanked(const std::string& text, const std::string& recordName, int gameIndex);
// An answer of a request started by this client; false when the id is not
// one of its requests.
bool OnlineHandleAnswer(int id, int status, const std::string& body);
// The player's actions in the dialog.
void OnlineApplySettings(const OnlineSettings& settings);
void OnlineRefresh();
void OnlineWatch(SharedPeriod period, int row);
// Requests started and not answered yet.
int OnlineRequestsInFlight();
// Back to the state before OnlineStart (tests).
void OnlineReset();
