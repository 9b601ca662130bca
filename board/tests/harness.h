// What the server's tests share: running programs, a tavro-board process
// on a throw-away folder, and honest replays recorded by the runner.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

namespace board_test {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// A fresh folder under the test's temporary folder, removed by its owner.
fs::path FreshFolder(const std::string& name);
std::string ReadText(const fs::path& path);
void WriteText(const fs::path& path, const std::string& text);

struct ProgramResult {
  int status = -1;  // -1: killed, or did not end within two minutes
  std::string out;
};
// Runs a program with the text on its standard input; standard error is
// left out.
ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& input = "");

// The runner's JSON report on a replay, with its exit status.
Json VerifyReport(const std::string& replay, int* status = nullptr);

// The first lines of a replay of this program version, with settings lines.
std::string ReplayHead(const std::vector<std::string>& ini = {"[ENVIRONMENT]"});
// A game started at frame 0, the name typed for the ranking, shots every
// tenth frame from frame 40 to 600 (at x = 200 + 10 * variant), and a last
// event at frame 1000, after the game is over.
std::string GameScript(int variant, const std::string& name);
// The replay made honest: each game's result, as the runner plays it,
// written in its "#@ game" lines.
std::string Honest(const std::string& replay);
// A ranking of ten rows for "#@ ini" lines, every row holding score
// `score` and the name "Rival N".
std::vector<std::string> FullRanking(int score);

// tavro-board started on a folder of its own (its SQLite file there unless
// --database is given), listening on a free port of 127.0.0.1.
class BoardProcess {
 public:
  BoardProcess(const fs::path& folder, const std::vector<std::string>& options,
               const std::map<std::string, std::string>& environment = {});
  ~BoardProcess();  // kills it if it still runs
  BoardProcess(const BoardProcess&) = delete;
  BoardProcess& operator=(const BoardProcess&) = delete;

  bool Started() const { return port_ > 0; }
  int Port() const { return port_; }
  pid_t Pid() const { return pid_; }
  std::unique_ptr<httplib::Client> Client() const;
  std::string Log() const;
  // Sends the signal and waits for the end; the exit status, -1 if killed.
  int Signal(int signal);

 private:
  fs::path log_;
  pid_t pid_ = -1;
  int port_ = 0;
};

struct Answer {
  int status = 0;  // 0: no answer
  Json body;
  std::string raw;
  std::string retryAfter;
  std::string allowOrigin;  // Access-Control-Allow-Origin
};
Answer Post(const BoardProcess& board, const std::string& body, const std::string& query = "",
            bool compress = false);
Answer Get(const BoardProcess& board, const std::string& path);

// Waits (up to a minute, checking often) for the condition.
bool WaitFor(const std::function<bool()>& condition);

}  // namespace board_test
