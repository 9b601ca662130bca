// tavro-sim as a program: what it does with the files it is given that are
// no script or replay it may read, on real FIFOs, devices, folders and
// sparse files, and its exit status.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/tests/file_helpers.h"
#include "replay/script.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;  // -1: killed, or did not end
  std::string out;
  std::string err;
};

// Runs tavro-sim with the arguments and standard input from the file (empty:
// /dev/null). A run that has not ended after two minutes, far beyond any of
// these, is killed and counts as hung.
Result RunSim(const fs::path& folder, const std::vector<std::string>& arguments,
              const std::string& input = "") {
  const fs::path out = folder / "stdout";
  const fs::path err = folder / "stderr";
  std::vector<char*> argv;
  std::string program = TAVRO_SIM_PATH;
  argv.push_back(program.data());
  std::vector<std::string> copies = arguments;
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    const int in = ::open(input.empty() ? "/dev/null" : input.c_str(), O_RDONLY);
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || o < 0 || e < 0) ::_exit(127);
    ::dup2(in, 0);
    ::dup2(o, 1);
    ::dup2(e, 2);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  Result result;
  if (child < 0) return result;
  int status = 0;
  pid_t ended = 0;
  for (int wait = 0; wait < 12000 && (ended = ::waitpid(child, &status, WNOHANG)) == 0; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (ended == 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return result;
  }
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  result.out = ReadFile(out);
  result.err = ReadFile(err);
  return result;
}

std::string ReplayHead() {
  return std::string(kReplayMagic) + "\n#@ version " + kReplayVersion + "\n#@ ini [ENVIRONMENT]\n";
}

class SimCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::path(::testing::TempDir()) / ("tavro-sim-cli-" + std::to_string(::getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_ / "folder");
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string Make(const std::string& name, const std::string& text) {
    WriteFile(folder_ / name, text);
    return (folder_ / name).string();
  }

  fs::path folder_;
};

// Whatever is no regular file within the cap is refused at once with exit
// status 2 and says why, never read: a FIFO with no writer does not block, a
// device does not fill the memory.
TEST_F(SimCliTest, RefusesWhatIsNoFileToRead) {
  const std::string fifo = (folder_ / "fifo").string();
  ASSERT_TRUE(MakeFifo(fifo));
  const std::string sparse = (folder_ / "sparse").string();
  { std::ofstream file(sparse); }
  fs::resize_file(sparse, 1ull << 30);  // 1 GiB, none of it written
  const std::string big = Make("big", "#" + std::string(kMaxScriptBytes, ' '));
  const std::string folder = (folder_ / "folder").string();
  const std::string script = Make("script", "0 start\n");
  const struct {
    std::vector<std::string> arguments;
    std::string input;    // standard input's file
    std::string message;  // all of standard error
  } cases[] = {
      {{"--verify", fifo}, "", "tavro-sim: " + fifo + ": not a regular file\n"},
      {{"--script", fifo}, "", "tavro-sim: " + fifo + ": not a regular file\n"},
      {{"--verify", "/dev/zero"}, "", "tavro-sim: /dev/zero: not a regular file\n"},
      {{"--script", "/dev/zero"}, "", "tavro-sim: /dev/zero: not a regular file\n"},
      {{"--verify", folder}, "", "tavro-sim: " + folder + ": not a regular file\n"},
      {{"--verify", sparse}, "", "tavro-sim: " + sparse + ": larger than 16 MiB\n"},
      {{"--script", big}, "", "tavro-sim: " + big + ": larger than 16 MiB\n"},
      {{"--script", "-"}, big, "tavro-sim: standard input: larger than 16 MiB\n"},
      {{"--verify", (folder_ / "none").string()},
       "",
       "tavro-sim: " + (folder_ / "none").string() + ": no such file\n"},
      {{"--ini", fifo, "--script", script},
       "",
       "tavro-sim: settings file " + fifo + ": not a regular file\n"},
      {{"--ini", "/dev/zero"}, "", "tavro-sim: settings file /dev/zero: not a regular file\n"},
      {{"--ini", sparse}, "", "tavro-sim: settings file " + sparse + ": larger than 16 MiB\n"},
      {{"--verify", script},
       "",
       "tavro-sim: " + script + ": not a TAVRO replay (line 1 is not \"#@ tavro-replay 1\")\n"},
  };
  for (const auto& c : cases) {
    const Result result = RunSim(folder_, c.arguments, c.input);
    EXPECT_EQ(result.status, 2) << c.arguments[1];
    EXPECT_EQ(result.err, c.message);
    EXPECT_EQ(result.out, "");
  }
}

// A replay that is no session's, or of another format, is refused by both
// the check and the run of it, with a short printable message.
TEST_F(SimCliTest, RefusesReplaysNoSessionMakes) {
  const std::string head = ReplayHead();
  std::string many = head;
  for (int i = 0; i <= kMaxEventsPerFrame + kExtraReplayEvents; ++i) many += "0 move 1 1\n";
  const struct {
    std::string name;
    std::string text;
    std::string message;  // after "tavro-sim: PATH: "
  } cases[] = {
      {"far", head + "0 start\n999999999999999 dump\n",
       "line 5: frame 999999999999999 is beyond the 4320000 frames (24 hours) a replay may hold\n"},
      {"many", many,
       "the replay holds 100005 events for 1 frame(s), more than a session can make (4 a frame, "
       "plus 100000)\n"},
      {"word", head + "0 " + std::string(10'000'000, 'w') + "\n",
       "line 4: unknown command \"" + std::string(40, 'w') + "...\"\n"},
      {"binary", head + "0 \x1b[2J\x1b]0;owned\x07\n",
       "line 4: unknown command \"\\x1b[2J\\x1b]0;owned\\x07\"\n"},
      {"newer", "#@ tavro-replay 2\n#@ version 2.0.0\n0 warp 1\n",
       "a newer replay format (line 1 is \"#@ tavro-replay 2\"), this program reads format 1\n"},
  };
  for (const auto& c : cases) {
    const std::string path = Make(c.name, c.text);
    for (const char* option : {"--verify", "--script"}) {
      const Result result = RunSim(folder_, {option, path});
      EXPECT_EQ(result.status, 2) << c.name << " " << option;
      EXPECT_EQ(result.err, "tavro-sim: " + path + ": " + c.message) << option;
      EXPECT_EQ(result.out, "");
    }
  }
}

// The check of a replay that ends in the middle of a game fails with status
// 1; the same replay finished by a stop passes.
TEST_F(SimCliTest, VerifyFailsOnAnUnfinishedGame) {
  const std::string head = ReplayHead() + "0 start\n5 click 100 100\n";
  const std::string unfinished = Make("unfinished", head);
  const std::string finished = Make("finished", head + "9 stop\n#@ game 1 score 0 level 0\n");
  Result result = RunSim(folder_, {"--verify", unfinished});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "game 1: unfinished at the replay's end\n"
            "FAILED: 1 game(s), 0 different, 1 unfinished\n");
  result = RunSim(folder_, {"--verify", finished});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            "game 1: recorded score 0 level 0, replayed score 0 level 0\n"
            "verified: 1 game(s), 0 different\n");
}

}  // namespace
