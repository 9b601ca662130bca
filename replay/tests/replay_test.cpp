#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/window_proc.h"
#include "game/tests/fresh_world.h"
#include "platform/headless/headless_host.h"
#include "platform/posix/tests/file_helpers.h"
#include "records/settings.h"
#include "replay/playback.h"
#include "app/script_player.h"
#include "replay/replay_file.h"
#include "replay/recorder.h"
#include "replay/script.h"
#include "sound/silent_mixer.h"
#include "sound/sound.h"
#include "world/world.h"

namespace {

struct Snapshot {
  WorldState world;
  std::uint32_t random;
  int flags[3];
};

Snapshot Take() {
  return {World, RandomState, {RapidFlag, SoundFlag, WaitFlag}};
}

void ExpectSame(const Snapshot& a, const Snapshot& b) {
  EXPECT_EQ(a.random, b.random);
  EXPECT_EQ(std::memcmp(&a.world, &b.world, sizeof a.world), 0);
  EXPECT_EQ(std::memcmp(a.flags, b.flags, sizeof a.flags), 0);
}

// Plays a recorded text back through the runner's delivery, frames between.
void PlayBack(const std::string& text, long long frames) {
  std::vector<ScriptEvent> events;
  ScriptHeader header;
  std::string error;
  ASSERT_TRUE(ParseScript(text, events, header, error)) << error;
  ASSERT_TRUE(CheckReplayHeader(header, error)) << error;
  ClearWorldForStart();
  HeadlessResetHost();
  PlaybackBegin();
  PlaybackSetSettingsText(&header.settingsText);
  StartUp();
  ReplaySetRecording(false);
  std::size_t next = 0;
  auto deliver = [&](long long frame) {
    while (next < events.size() && events[next].frame == frame) {
      if (DeliverScriptEvent(events[next++]) == DeliveryResult::Exit) return false;
    }
    return true;
  };
  if (!deliver(0)) return;
  for (long long frame = 1; frame <= frames; ++frame) {
    if (!deliver(frame)) return;
    RunFrame();
  }
  deliver(frames + 1);
}

class ReplayTest : public FreshWorld {
 protected:
  void TearDown() override {
    PlaybackEnd();
    PlaybackSetSettingsText(nullptr);
    SetSettingsFilePath("");
  }
};

// A session driven as the desktop drives the game (shots, rapid-fire moves,
// menu commands, both answers of a box, a ranked game with a name) is
// reproduced exactly from its record, with the same game results.
TEST_F(ReplayTest, RecordedSessionReproducesTheWorldExactly) {
  ResetRanking();
  World.ranking[0] = {500, 2, 0, "Hanako"};
  World.ranking[1] = {40, 1, 1, "Jiro"};
  RapidFlag = 0;
  SoundFlag = 1;
  WaitFlag = 1;
  const std::string settings = SaveSettingsToText(std::string());
  ClearWorldForStart();
  PlaybackSetSettingsText(&settings);  // start-up reads these instead of a file
  StartUp();
  PlaybackSetSettingsText(nullptr);
  ASSERT_EQ(World.ranking[0].score, 500);

  long long frames = 0;
  auto run = [&](int count) {
    for (int i = 0; i < count; ++i, ++frames) RunFrame();
  };
  run(30);
  OnCommand(ID_SETTINGS_RAPID);  // in demo mode: rapid fire on
  HeadlessSetConfirmAnswer(false);
  OnCommand(ID_GAME_CLEAR_RANKING);  // cancelled
  OnCommand(ID_GAME_START);
  run(40);
  // shots for a while, then the rocks are left to land until the game is over
  for (int i = 0; i < 30000 && World.demoMode == 0; ++i) {
    if (i < 600) {
      OnMouseMove(100 + (i * 37) % 300, 150 + (i * 11) % 200);  // one shot a frame
      OnMouseMove(5, 5);                                        // same frame: ignored
      if (i % 7 == 0) OnLeftButtonDown(256, 300);
    }
    if (i == 50) OnCommand(ID_SETTINGS_SOUND);
    if (i % 40 == 0) HeadlessQueueName("  Taro\tYamada  ");
    run(1);
  }
  OnCommand(ID_HELP_ABOUT);
  run(25);
  OnCommand(ID_GAME_START);
  run(200);
  OnCommand(ID_GAME_STOP);  // a second game, stopped from the menu
  run(10);
  HeadlessSetConfirmAnswer(true);
  ASSERT_TRUE(OnClose());
  const Snapshot recorded = Take();
  const std::string text = ReplayText();
  const std::vector<GameResult> games = ReplayGameResults();
  ASSERT_EQ(games.size(), 2u);
  EXPECT_GT(games[0].score, 0);
  EXPECT_EQ(World.ranking[0].score, games[0].score) << "the first game is ranked";
  EXPECT_NE(text.find(" name TaroYamada\n"), std::string::npos);

  PlayBack(text, frames);
  ExpectSame(recorded, Take());
  ASSERT_EQ(ReplayGameResults().size(), games.size());
  for (std::size_t i = 0; i < games.size(); ++i) {
    EXPECT_EQ(ReplayGameResults()[i].score, games[i].score) << i;
    EXPECT_EQ(ReplayGameResults()[i].level, games[i].level) << i;
  }
}

TEST(ReplayFormatTest, BadFilesAreRefusedNamingTheLine) {
  const std::string head =
      std::string(kReplayMagic) + "\n#@ version " + kReplayVersion + "\n#@ ini [ENVIRONMENT]\n";
  const struct {
    std::string text;
    std::string message;  // part of the error
  } cases[] = {
      {"\x89PNG\r\n\x1a\n", "line 1: bad frame number"},
      {"just some text\n", "line 1"},
      {head + "12 click 5 6\n13 cli", "line 5: unknown command \"cli\""},  // truncated
      {head + "12 click 5", "line 4: click needs two coordinates"},
      {head + "12 click 5 70000", "line 4: click coordinate 70000 is outside -32768..65535"},
      {head + "#@ game 1 score x level 2", "line 4: bad game result"},
      {head + "#@ gain 1", "line 4: unknown replay line"},
  };
  for (const auto& c : cases) {
    std::vector<ScriptEvent> events;
    ScriptHeader header;
    std::string error;
    EXPECT_FALSE(ParseScript(c.text, events, header, error) && CheckReplayHeader(header, error))
        << c.text;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

TEST(ReplayFormatTest, OtherVersionsAndPlainScriptsAreNoReplays) {
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {std::string(kReplayMagic) + "\n#@ version 0.9\n#@ ini [SCORE]\n", "version \"0.9\""},
      {"0 start\n", "not a TAVRO replay"},
      {std::string(kReplayMagic) + "\n#@ version " + kReplayVersion + "\n", "no settings"},
  };
  for (const auto& c : cases) {
    std::vector<ScriptEvent> events;
    ScriptHeader header;
    std::string error;
    ASSERT_TRUE(ParseScript(c.text, events, header, error)) << error;
    EXPECT_FALSE(CheckReplayHeader(header, error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

}  // namespace

namespace {

namespace fs = std::filesystem;

// The jump to a later game runs the earlier games' frames, shots and all,
// without a sound; the game jumped to sounds again.
TEST_F(ReplayTest, JumpToALaterGameIsSilent) {
  ResetRanking();
  SoundFlag = 1;
  const std::string settings = SaveSettingsToText(std::string());
  PlaybackSetSettingsText(&settings);
  StartUp();
  PlaybackSetSettingsText(nullptr);
  for (int game = 0; game < 2; ++game) {
    OnCommand(ID_GAME_START);
    for (int i = 0; i < 60; ++i) {
      if (i % 5 == 0) OnLeftButtonDown(100 + i, 200);
      RunFrame();
    }
  }
  HeadlessSetConfirmAnswer(true);
  ASSERT_TRUE(OnClose());
  const fs::path file = fs::temp_directory_path() / "tavro-jump-test.tavroreplay";
  WriteFile(file, ReplayText());

  ReplaySession session;
  std::string error;
  ASSERT_TRUE(LoadReplayFile(file.string(), 2, &session, &error)) << error;
  fs::remove(file);
  ClearWorldForStart();
  for (int& count : SoundEventCount) count = 0;
  ResetSilentMixer();
  SilentMixer.failOpen = true;  // the embedded waves' player takes every request
  BeginReplayPlayback(session);
  StartUp();
  StartReplayPlayback();
  while (FastForwardFor(1000)) {
  }
  EXPECT_GT(SoundEventCount[kSoundShot], 0) << "the first game's shots were replayed";
  EXPECT_EQ(SilentMixer.fallbackPlays, 0);
  while (PlaybackFrame()) {
  }
  EXPECT_TRUE(PlaybackFinished());
  EXPECT_GT(SilentMixer.fallbackPlays, 0) << "the second game sounds";
}

}  // namespace
