#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/script_player.h"
#include "app/window_proc.h"
#include "game/tests/fresh_world.h"
#include "platform/headless/headless_host.h"
#include "platform/posix/tests/file_helpers.h"
#include "records/settings.h"
#include "replay/playback.h"
#include "replay/recorder.h"
#include "replay/replay_file.h"
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

namespace {

namespace fs = std::filesystem;

std::string ReplayHead() {
  return std::string(kReplayMagic) + "\n#@ version " + kReplayVersion + "\n#@ ini [ENVIRONMENT]\n";
}

std::string Repeat(const std::string& line, long long count) {
  std::string text;
  text.reserve(line.size() * static_cast<std::size_t>(count));
  for (long long i = 0; i < count; ++i) text += line;
  return text;
}

// What a session can make bounds a replay: its last frame, and its events
// for its frames. A plain script is bounded by neither, only by the size
// that bounds every text.
TEST(ReplayLimitsTest, ReplaysHoldAtMostWhatASessionCanMake) {
  const std::string last = std::to_string(kMaxReplayFrames);
  const long long mostAtFrame0 = kMaxEventsPerFrame + kExtraReplayEvents;
  const std::string head = ReplayHead();
  const struct {
    std::string text;
    std::string message;  // empty: accepted
  } cases[] = {
      {head + "0 start\n" + last + " stop\n", ""},
      {head + "0 start\n" + std::to_string(kMaxReplayFrames + 1) + " stop\n",
       "line 5: frame 4320001 is beyond the 4320000 frames (24 hours) a replay may hold"},
      {head + "999999999999999 dump\n", "line 4: frame 999999999999999 is beyond"},
      {"999999999999999 dump\n", ""},
      {head + Repeat("0 move 1 1\n", mostAtFrame0), ""},
      {head + Repeat("0 move 1 1\n", mostAtFrame0 + 1),
       "the replay holds 100005 events for 1 frame(s), more than a session can make (4 a frame, "
       "plus 100000)"},
      // the frames after the burst make room for it, wherever it lies
      {head + Repeat("0 repaint\n", mostAtFrame0 + 3) + "1 about\n", ""},
      {head + "1 about\n" + Repeat("0 repaint\n", mostAtFrame0 + 3), ""},
      {head + "1 about\n" + Repeat("0 repaint\n", mostAtFrame0 + 4),
       "the replay holds 100009 events for 2 frame(s)"},
      {Repeat("0 move 1 1\n", mostAtFrame0 + 1), ""},
      {std::string(kMaxScriptBytes - 7, '#') + "\n0 stop", ""},
      {std::string(kMaxScriptBytes - 6, '#') + "\n0 stop", "larger than 16 MiB"},
  };
  for (const auto& c : cases) {
    std::vector<ScriptEvent> events;
    ScriptHeader header;
    std::string error;
    EXPECT_EQ(ParseScript(c.text, events, header, error), c.message.empty())
        << c.text.substr(0, 120);
    EXPECT_EQ(error.rfind(c.message, 0), 0u) << error;
  }
}

// A later format's magic is named as such by every reader, whatever its
// lines hold; other first lines are no replay at all.
TEST(ReplayLimitsTest, NewerFormatsAreNamed) {
  const struct {
    std::string firstLine;
    bool newer;
    bool replay;  // this format's
  } cases[] = {
      {kReplayMagic, false, true},
      {std::string(kReplayMagic) + "\r", false, true},
      {"#@ tavro-replay 2", true, false},
      {"#@ tavro-replay 10\r", true, false},
      {"#@ tavro-replay 99999999999999999999999999", true, false},
      {"#@ tavro-replay 0", false, false},
      {"#@ tavro-replay 01", false, false},
      {"#@ tavro-replay 2x", false, false},
      {"#@ tavro-replay -2", false, false},
      {"#@ tavro-replay ", false, false},
      {"#@ tavro-replay", false, false},
  };
  for (const auto& c : cases) {
    const std::string text = c.firstLine + "\n#@ version 9.9\n0 fly away\n";
    std::string startError;
    EXPECT_EQ(CheckReplayStart(text, startError), c.replay) << c.firstLine;
    std::vector<ScriptEvent> events;
    ScriptHeader header;
    std::string error;
    EXPECT_FALSE(ParseScript(text, events, header, error));
    std::string line = c.firstLine;
    if (line.back() == '\r') line.pop_back();
    const std::string expected =
        c.newer    ? "a newer replay format (line 1 is \"" + line.substr(0, 40)
        : c.replay ? "line 3: unknown command \"fly\""
                   : "not a TAVRO replay (line 1 is not \"#@ tavro-replay 1\")";
    EXPECT_EQ((c.newer || c.replay ? error : startError).rfind(expected, 0), 0u)
        << c.firstLine << ": " << error << " / " << startError;
    if (c.newer) {
      EXPECT_NE(error.find("this program reads format 1"), std::string::npos) << error;
      EXPECT_EQ(error, startError);
    }
  }
}

TEST(ReplayLimitsTest, QuotedFileTextIsShortAndPrintable) {
  const struct {
    std::string text;
    std::string quoted;
  } cases[] = {
      {"", ""},
      {"abc def", "abc def"},
      {std::string(40, 'x'), std::string(40, 'x')},
      {std::string(41, 'x'), std::string(40, 'x') + "..."},
      {"\x1b[31mred\x7f", "\\x1b[31mred\\x7f"},
      {std::string("a\0b", 3), "a\\x00b"},
      {"back\\slash", "back\\x5cslash"},
      {"\xc3\xa9t\xc3\xa9", "\\xc3\\xa9t\\xc3\\xa9"},
      {std::string(39, 'x') + "\xff\xff", std::string(39, 'x') + "\\xff..."},
  };
  for (const auto& c : cases) EXPECT_EQ(QuoteFileText(c.text), c.quoted);
}

// Each message that quotes a word of the file quotes a short, printable
// piece of it, however long or binary the word.
TEST(ReplayLimitsTest, ParseErrorsQuoteAShortPrintablePieceOfTheWord) {
  const std::string huge(10'000'000, 'x');
  const std::string digits(10'000'000, '7');
  const std::string binary = "\x1b]0;title\x07\x1b[2J\x9b";
  const std::string head = ReplayHead();
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {huge + " start\n", "line 1: bad frame number \"" + std::string(40, 'x') + "...\""},
      {"0 " + huge + "\n", "line 1: unknown command \"" + std::string(40, 'x') + "...\""},
      {"0 click 1 " + digits + "\n",
       "line 1: click coordinate " + std::string(40, '7') + "... is outside"},
      {head + "#@ " + huge + "\n", "line 4: unknown replay line \"" + std::string(40, 'x')},
      {"0 " + binary + "\n", "line 1: unknown command \"\\x1b]0;title\\x07\\x1b[2J\\x9b\""},
      {binary + "\n", "line 1: bad frame number \"\\x1b]0;title\\x07\\x1b[2J\\x9b\""},
      {std::string(kReplayMagic) + "\n#@ version " + binary + huge + "\n#@ ini x\n",
       "recorded by TAVRO version \"\\x1b]0;title\\x07\\x1b[2J\\x9b" +
           std::string(40 - binary.size(), 'x') + "...\""},
  };
  for (const auto& c : cases) {
    std::vector<ScriptEvent> events;
    ScriptHeader header;
    std::string error;
    EXPECT_FALSE(ParseScript(c.text, events, header, error) && CheckReplayHeader(header, error));
    EXPECT_EQ(error.rfind(c.message, 0), 0u) << error.substr(0, 300);
    EXPECT_LT(error.size(), 200u);
    for (const char byte : error) {
      EXPECT_TRUE(byte >= 0x20 && byte < 0x7f) << "byte " << int(byte) << " in " << error;
    }
  }
}

// The desktop's reader of a replay takes only a regular file within the cap,
// names what it is not, and names a newer format before its lines.
TEST(ReplayLimitsTest, LoadReplayFileRefusesWhatIsNoReplayFile) {
  const fs::path folder = fs::path(::testing::TempDir()) / "tavro-load-replay-test";
  fs::remove_all(folder);
  fs::create_directories(folder / "folder");
  const std::string valid = ReplayHead() + "0 start\n5 stop\n#@ game 1 score 0 level 0\n";
  // padded with comments up to the byte
  const std::string padding(4096, '#');
  std::string full = valid;
  while (full.size() + padding.size() + 1 <= kMaxScriptBytes) full += padding + "\n";
  full += std::string(kMaxScriptBytes - full.size() - 1, '#') + "\n";
  ASSERT_EQ(full.size(), kMaxScriptBytes);
  WriteFile(folder / "full", full);
  WriteFile(folder / "over", full + "#");
  WriteFile(folder / "newer", "#@ tavro-replay 2\n#@ everything else changed\n");
  WriteFile(folder / "script", "0 start\n");
  WriteFile(folder / "far", ReplayHead() + "4320001 stop\n");
  { std::ofstream sparse(folder / "sparse"); }
  fs::resize_file(folder / "sparse", 1ull << 30);
  const bool fifo = MakeFifo(folder / "fifo");
  const struct {
    fs::path path;
    std::string message;  // empty: loaded
  } cases[] = {
      {folder / "full", ""},
      {folder / "over", "larger than 16 MiB"},
      {folder / "sparse", "larger than 16 MiB"},
      {folder / "folder", "not a regular file"},
      {folder / "missing", "no such file"},
      {folder / "newer", "a newer replay format"},
      {folder / "script", "not a TAVRO replay"},
      {folder / "far", "line 4: frame 4320001 is beyond"},
#ifndef _WIN32
      {"/dev/zero", "not a regular file"},
#endif
      {fifo ? folder / "fifo" : folder / "folder", "not a regular file"},
  };
  for (const auto& c : cases) {
    ReplaySession session;
    std::string error;
    EXPECT_EQ(LoadReplayFile(c.path.string(), 0, &session, &error), c.message.empty()) << c.path;
    EXPECT_EQ(error.rfind(c.message, 0), 0u) << c.path << ": " << error;
  }
  fs::remove_all(folder);
}

}  // namespace
