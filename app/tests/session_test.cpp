// The session step every host shares, driven through the headless host as a
// fake window: ticks, script delivery, the jump, menu states in each mode,
// the close, and the command line.
#include "app/session.h"

#include <stdlib.h>
#if !defined(_WIN32)
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/arguments.h"
#include "app/script_player.h"
#include "game/tests/fresh_world.h"
#include "platform/headless/headless_network.h"
#include "records/settings.h"
#include "replay/playback.h"
#include "replay/recorder.h"
#include "sound/silent_mixer.h"

namespace {

enum class Mode { PlayDemo, PlayGame, Replay, Runner };

ReplaySession Script(const std::string& text, long long fastForwardTo = 0) {
  ReplaySession session;
  std::string error;
  EXPECT_TRUE(ParseScript(text, session.events, session.header, error)) << error;
  session.fastForwardTo = fastForwardTo;
  return session;
}

class SessionTest : public FreshWorld {
 protected:
  void SetUp() override {
    FreshWorld::SetUp();
    ResetSilentMixer();
  }

  void TearDown() override {
    SetScriptEventListener(nullptr);
    PlaybackEnd();
    StopSound();
  }

  // A started session of the mode, from the default settings; nothing is
  // read or written.
  static void Start(Mode mode, const std::string& script = "") {
    const std::string defaults;
    switch (mode) {
      case Mode::PlayDemo:
      case Mode::PlayGame:
        BeginPlaySession(false);
        SetSettingsFilePath("");
        break;
      case Mode::Replay:
        BeginReplaySession(Script(script));
        break;
      case Mode::Runner:
        SetSettingsFilePath("");
        BeginRunnerScript(Script(script).events, &defaults);
        break;
    }
    StartSession();
    if (mode == Mode::PlayGame) OnCommand(ID_GAME_START);
  }
};

TEST_F(SessionTest, AFrameIsDueOnTheTickOrUnpacedButAReplayKeepsToTheTick) {
  struct Case {
    const char* name;
    Mode mode;
    int waitFlag;
    bool tick;
    bool due;
  } cases[] = {
      {"paced, no tick", Mode::PlayDemo, 1, false, false},
      {"paced, tick", Mode::PlayDemo, 1, true, true},
      {"unpaced", Mode::PlayDemo, 0, false, true},
      {"replay, unpaced, no tick", Mode::Replay, 0, false, false},
      {"replay, tick", Mode::Replay, 1, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start(c.mode, "1 start\n50 stop\n");
    WaitFlag = c.waitFlag;
    World.frameTick = 0;
    if (c.tick) SessionTick();
    EXPECT_EQ(SessionFrameDue(), c.due);
    const long long before = SessionFramesRun();
    const StepOutcome step = SessionStep();
    EXPECT_EQ(step.frame, c.due);
    EXPECT_EQ(step.show, c.due);
    EXPECT_EQ(SessionFramesRun(), before + (c.due ? 1 : 0));
    EXPECT_EQ(World.frameTick, 0);
    TearDown();
  }
}

TEST_F(SessionTest, ScriptEventsReachTheirFrameAndTheExitEndsEachKindOfScriptItsOwnWay) {
  struct Case {
    const char* name;
    Mode mode;
    const char* script;
    int framesRun;  // frames that run before the script ends (-1: never)
    bool closed;    // the program was closed by the script
  } cases[] = {
      {"a replay ends before its exit", Mode::Replay, "1 start\n3 click 100 100\n5 exit\n", 4,
       false},
      {"the runner delivers the exit", Mode::Runner, "1 start\n3 click 100 100\n5 exit\n", 4, true},
      {"a replay ends at its last event", Mode::Replay, "1 start\n3 click 100 100\n", 3, false},
      {"the runner goes on", Mode::Runner, "1 start\n3 click 100 100\n", -1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start(c.mode, c.script);
    int frames = 0;
    for (; frames < 20 && PlaybackFrame(); ++frames) {
      // the start came before frame 1, the click before frame 3
      const int frame = frames + 1;
      if (frame == 1) {
        EXPECT_EQ(World.demoMode, 0);
      }
      if (frame == 2 || frame == 3) {
        EXPECT_EQ(LiveExplosions(), frame == 3 ? 1 : 0);
      }
    }
    EXPECT_EQ(frames, c.framesRun < 0 ? 20 : c.framesRun);
    EXPECT_EQ(PlaybackFinished(), c.framesRun >= 0);
    EXPECT_EQ(ProgramQuitting(), c.closed);
    TearDown();
  }
}

TEST_F(SessionTest, EventsOfFrameZeroComeRightAfterStartUp) {
  Start(Mode::Runner, "0 rapid\n0 start\n");
  EXPECT_EQ(RapidFlag, 1);
  EXPECT_EQ(World.demoMode, 0);
  EXPECT_EQ(SessionFramesRun(), 0);
}

TEST_F(SessionTest, AJumpRunsUnseenAndSilentlyThenPlaysOnTheTick) {
  BeginReplaySession(Script("1 start\n3 click 50 300\n10 stop\n20 start\n30 click 10 10\n", 20));
  StartSession();
  EXPECT_EQ(HeadlessTitle(), "TAVRO Ver.1.5 - replay (jumping)");
  EXPECT_TRUE(SilentMixer.muted);
  EXPECT_TRUE(SessionJumping());
  const int startUpSleeps = HeadlessCounters().sleeps;  // start-up's own wipe
  World.frameTick = 0;
  int slices = 0;
  StepOutcome step;
  while (SessionJumping() && slices++ < 1000) {
    EXPECT_TRUE(SessionFrameDue());  // no tick needed
    step = SessionStep();
    EXPECT_TRUE(step.ran);
    EXPECT_FALSE(step.frame);
  }
  EXPECT_TRUE(step.show);  // the picture the jump arrived at
  EXPECT_EQ(PlaybackFramesRun(), 19);
  // the wipe of the first start was not drawn out
  EXPECT_EQ(HeadlessCounters().sleeps, startUpSleeps);
  EXPECT_EQ(HeadlessTitle(), "TAVRO Ver.1.5 - replay");
  EXPECT_FALSE(SilentMixer.muted);
  EXPECT_FALSE(SessionFrameDue());
  for (int i = 0; i < 100 && !PlaybackFinished(); ++i) {
    SessionTick();
    SessionStep();
  }
  EXPECT_GT(HeadlessCounters().sleeps, startUpSleeps);  // the second start's wipe was
  EXPECT_EQ(PlaybackFramesRun(), 30);
  EXPECT_EQ(HeadlessTitle(), "TAVRO Ver.1.5 - replay ended");
  SessionTick();
  EXPECT_FALSE(SessionFrameDue());
}

TEST_F(SessionTest, MenuStatesFollowTheModeAndTheSettings) {
  struct Item {
    int id;
    bool enabled;
    bool checked;
  };
  struct Case {
    const char* name;
    Mode mode;
    int position;
    std::vector<Item> items;
  } cases[] = {
      {"demo, game menu",
       Mode::PlayDemo,
       0,
       {{ID_GAME_START, true, false},
        {ID_GAME_STOP, true, false},
        {ID_GAME_CLEAR_RANKING, true, false},
        {ID_GAME_SHARED_RANKING, true, false},
        {ID_GAME_EXIT, true, false}}},
      {"demo, settings",
       Mode::PlayDemo,
       1,
       {{ID_SETTINGS_RAPID, true, true}, {ID_SETTINGS_SOUND, true, false}}},
      {"game, game menu",
       Mode::PlayGame,
       0,
       {{ID_GAME_START, true, false},
        {ID_GAME_STOP, true, false},
        {ID_GAME_CLEAR_RANKING, false, false},
        {ID_GAME_SHARED_RANKING, true, false},
        {ID_GAME_EXIT, true, false}}},
      {"game, settings",
       Mode::PlayGame,
       1,
       {{ID_SETTINGS_RAPID, false, true}, {ID_SETTINGS_SOUND, true, false}}},
      {"game, help", Mode::PlayGame, 2, {{ID_HELP_ABOUT, true, false}}},
      {"replay, game menu",
       Mode::Replay,
       0,
       {{ID_GAME_START, false, false},
        {ID_GAME_STOP, false, false},
        {ID_GAME_CLEAR_RANKING, false, false},
        {ID_GAME_SHARED_RANKING, false, false},
        {ID_GAME_EXIT, true, false}}},
      {"replay, settings",
       Mode::Replay,
       1,
       {{ID_SETTINGS_RAPID, false, true}, {ID_SETTINGS_SOUND, false, false}}},
      {"replay, help", Mode::Replay, 2, {{ID_HELP_ABOUT, true, false}}},
      {"no such popup", Mode::PlayDemo, 3, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start(c.mode, "0 rapid\n0 sound\n9 stop\n");
    if (c.mode != Mode::Replay) {
      RapidFlag = 1;
      SoundFlag = 0;
    }
    MenuItemState states[kMaxPopupItems];
    const int count = SessionMenuState(c.position, states);
    ASSERT_EQ(count, static_cast<int>(c.items.size()));
    for (int i = 0; i < count; ++i) {
      EXPECT_EQ(states[i].id, c.items[i].id);
      EXPECT_EQ(states[i].enabled, c.items[i].enabled) << c.items[i].id;
      EXPECT_EQ(states[i].checked, c.items[i].checked) << c.items[i].id;
    }
    TearDown();
  }
}

// During a replay only the about dialog and the exit do anything, in every
// host: the exit posts the close, which ends the replay without asking.
TEST_F(SessionTest, DuringAReplayTheMenuOnlyShowsTheVersionAndExits) {
  struct Case {
    int id;
    bool handled;
    int aboutDialogs;
    int postedCloses;
  } cases[] = {
      {ID_HELP_ABOUT, true, 1, 0},          {ID_GAME_EXIT, true, 0, 1},
      {ID_GAME_START, false, 0, 0},         {ID_GAME_STOP, false, 0, 0},
      {ID_SETTINGS_RAPID, false, 0, 0},     {ID_SETTINGS_SOUND, false, 0, 0},
      {ID_GAME_CLEAR_RANKING, false, 0, 0}, {ID_HELP_WINDOWS_HELP, false, 0, 0},
      {ID_GAME_SHARED_RANKING, true, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    Start(Mode::Replay, "9 stop\n");
    HeadlessResetHost();
    const int rapid = RapidFlag;
    const int sound = SoundFlag;
    EXPECT_EQ(SessionMenuCommand(c.id), c.handled);
    EXPECT_EQ(HeadlessCounters().aboutDialogs, c.aboutDialogs);
    EXPECT_EQ(HeadlessCounters().postedCloses, c.postedCloses);
    EXPECT_EQ(World.demoMode, 1);
    EXPECT_EQ(RapidFlag, rapid);
    EXPECT_EQ(SoundFlag, sound);
    EXPECT_EQ(World.modalOpen, 0);
    if (HeadlessTakePostedClose()) {
      EXPECT_TRUE(SessionCloseRequest());
      EXPECT_EQ(HeadlessCounters().confirmBoxes, 0);
      EXPECT_TRUE(ProgramQuitting());
      EXPECT_FALSE(SessionFrameDue());
    }
    TearDown();
  }
}

TEST_F(SessionTest, ThePlayersInputCountsOnlyInTheirOwnSession) {
  for (Mode mode : {Mode::PlayGame, Mode::Replay}) {
    Start(mode, "1 start\n9 stop\n");
    if (mode == Mode::Replay) PlaybackFrame();  // in play now
    ASSERT_EQ(World.demoMode, 0);
    RapidFlag = 1;
    SessionClick(100, 100);
    World.shotsThisFrame = 0;
    SessionMove(200, 200);
    EXPECT_EQ(LiveExplosions(), mode == Mode::Replay ? 0 : 2);
    EXPECT_EQ(SessionMenuCommand(ID_GAME_STOP), mode != Mode::Replay);
    TearDown();
  }
}

TEST_F(SessionTest, TheCloseAsksThePlayerButEndsAReplayAtOnce) {
  struct Case {
    Mode mode;
    bool answer;
    bool ends;
    int boxes;
  } cases[] = {
      {Mode::PlayDemo, false, false, 1},
      {Mode::PlayDemo, true, true, 1},
      {Mode::Replay, false, true, 0},
  };
  for (const Case& c : cases) {
    Start(c.mode, "9 stop\n");
    HeadlessSetConfirmAnswer(c.answer);
    EXPECT_EQ(SessionCloseRequest(), c.ends);
    EXPECT_EQ(HeadlessCounters().confirmBoxes, c.boxes);
    EXPECT_EQ(SessionQuitting(), c.ends);
    EXPECT_EQ(HeadlessQuitRequested(), c.ends);
    // a second close once ending asks nothing more
    if (c.ends) {
      EXPECT_TRUE(SessionCloseRequest());
      EXPECT_EQ(HeadlessCounters().confirmBoxes, c.boxes);
    }
    TearDown();
    HeadlessResetHost();
  }
}

// The playback controls change how a replay is shown, never what it plays:
// frames a tick, a paused replay that moves one frame on request, and the
// jump to the next game; the title says which.
TEST_F(SessionTest, PlaybackControlsChangeOnlyHowAReplayIsShown) {
  const char* const kScript = "50 start\n100 stop\n150 start\n300 stop\n400 move 1 1\n";
  struct Case {
    const char* name;
    const char* keys;  // typed before the ticks
    int ticks;
    long long frames;  // played after the ticks
    const char* title;
  } cases[] = {
      {"normal", "", 5, 5, "TAVRO Ver.1.5 - replay"},
      {"2x", "2", 5, 10, "TAVRO Ver.1.5 - replay (2x)"},
      {"4x", "4", 5, 20, "TAVRO Ver.1.5 - replay (4x)"},
      {"back to 1x", "41", 5, 5, "TAVRO Ver.1.5 - replay"},
      {"paused", " ", 5, 0, "TAVRO Ver.1.5 - replay (paused)"},
      {"paused, one frame", " .", 5, 1, "TAVRO Ver.1.5 - replay (paused)"},
      {"resumed", "  ", 5, 5, "TAVRO Ver.1.5 - replay"},
      {"next game", "n", 1, 49, "TAVRO Ver.1.5 - replay"},
      {"unknown keys", "xq", 5, 5, "TAVRO Ver.1.5 - replay"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start(Mode::Replay, kScript);
    for (const char* key = c.keys; *key != '\0'; ++key) {
      EXPECT_EQ(SessionPlaybackKey(*key), *key != 'x' && *key != 'q') << *key;
    }
    for (int t = 0; t < c.ticks; ++t) {
      SessionTick();
      SessionStep();
      while (SessionJumping()) SessionStep();
    }
    EXPECT_EQ(PlaybackFramesRun(), c.frames);
    EXPECT_EQ(HeadlessTitle(), c.title);
    TearDown();
  }
  // the same replay at 4x ends in the same world as at 1x
  int scores[2];
  for (int i = 0; i < 2; ++i) {
    Start(Mode::Replay, kScript);
    if (i == 1) SessionPlaybackKey('4');
    while (!PlaybackFinished()) {
      SessionTick();
      SessionStep();
    }
    EXPECT_EQ(PlaybackFramesRun(), 400);
    scores[i] = World.score;
    TearDown();
  }
  EXPECT_EQ(scores[0], scores[1]);
  // nothing to control in the player's own session
  Start(Mode::PlayGame);
  EXPECT_FALSE(SessionPlaybackKey(' '));
  EXPECT_FALSE(SessionPlaybackControl(PlaybackControl::NextGame));
}

#if !defined(_WIN32)
// A game that enters the ranking in the player's own session, and only
// there, offers the session's record to the shared ranking as it was kept.
TEST_F(SessionTest, ARankedGameOfThePlayersOwnSessionIsSentWhenOnline) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("tavro-session-" + std::to_string(::getpid()));
  struct Case {
    const char* name;
    bool online;
    int score;
    std::size_t posts;
  } cases[] = {
      {"online, ranked", true, 1234, 1},
      {"online, no points", true, 0, 0},
      {"offline, ranked", false, 1234, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root);
    fs::create_directories(root / "config" / "tavro");
    ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    std::ofstream(root / "config" / "tavro" / "TAVRO.INI")
        << "[Online]\nEnabled=" << (c.online ? 1 : 0) << "\nServer=127.0.0.1:9\nAutoSend=1\n";
    HeadlessResetNetwork();
    HeadlessNetworkState().available = true;
    HeadlessQueueName("Ann");
    BeginPlaySession(true);
    StartSession();
    OnCommand(ID_GAME_START);
    SessionRunFrame();
    World.score = c.score;
    World.groundY = kGameOverHeight;
    SessionRunFrame();
    std::size_t posts = 0;
    for (const HttpRequest& request : HeadlessNetworkState().started) {
      if (std::string(request.method) != "POST") continue;
      ++posts;
      EXPECT_EQ(request.body, ReplayText());
      EXPECT_EQ(request.url, "http://127.0.0.1:9/api/v1/replays");
    }
    EXPECT_EQ(posts, c.posts);
    TearDown();
    OnlineReset();
  }
  ::unsetenv("XDG_CONFIG_HOME");
  ::unsetenv("XDG_DATA_HOME");
  fs::remove_all(root);
}
#endif

TEST(ProgramArguments, OneGrammarWithItsBoundsAndMessages) {
  struct Case {
    std::vector<std::string> arguments;
    const char* error;  // "" when accepted
    std::string replay;
    int fromGame;
    bool help;
  } cases[] = {
      {{}, "", "", 0, false},
      {{"--help"}, "", "", 0, true},
      {{"-h"}, "", "", 0, true},
      {{"a.tavroreplay"}, "", "a.tavroreplay", 0, false},
      {{"--replay", "-odd name"}, "", "-odd name", 0, false},
      {{"--replay", "r", "--from-game", "3"}, "", "r", 3, false},
      {{"--from-game", "1000000", "r"}, "", "r", 1000000, false},
      {{"--replay"}, "missing file after --replay", "", 0, false},
      {{"--replay", ""}, "empty replay path", "", 0, false},
      {{"a", "b"}, "one replay at a time", "", 0, false},
      {{"r", "--from-game"}, "--from-game needs a game number from 1 to 1000000", "", 0, false},
      {{"r", "--from-game", "0"},
       "--from-game needs a game number from 1 to 1000000",
       "",
       0,
       false},
      {{"r", "--from-game", "1000001"},
       "--from-game needs a game number from 1 to 1000000",
       "",
       0,
       false},
      {{"r", "--from-game", "+2"},
       "--from-game needs a game number from 1 to 1000000",
       "",
       0,
       false},
      {{"r", "--from-game", "2x"},
       "--from-game needs a game number from 1 to 1000000",
       "",
       0,
       false},
      {{"--from-game", "2"}, "--from-game needs a replay", "", 0, false},
      {{"--fast"}, "unknown option --fast", "", 0, false},
  };
  for (const Case& c : cases) {
    ProgramOptions options;
    std::string error;
    const bool ok = ParseProgramArguments(c.arguments, &options, &error);
    const std::string name = c.arguments.empty() ? "(none)" : c.arguments[0];
    EXPECT_EQ(ok, c.error[0] == '\0') << name;
    if (!ok) {
      EXPECT_EQ(error, c.error) << name;
      continue;
    }
    EXPECT_EQ(options.replayPath, c.replay) << name;
    EXPECT_EQ(options.fromGame, c.fromGame) << name;
    EXPECT_EQ(options.help, c.help) << name;
  }
  EXPECT_EQ(ProgramUsage("tavro"),
            "usage: tavro                      play\n"
            "       tavro [--replay] FILE [--from-game N]\n"
            "                                  watch a recorded session (from its game N)\n");
}

}  // namespace
