#include "board/tests/harness.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "replay/recorder.h"

namespace board_test {

namespace {

// Waits for the child up to the number of 10 ms ticks; its status or -1.
int WaitChild(pid_t child, int ticks) {
  int status = 0;
  for (int i = 0; i < ticks; ++i) {
    const pid_t ended = ::waitpid(child, &status, WNOHANG);
    if (ended == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, &status, 0);
  return -1;
}

std::vector<char*> Pointers(std::vector<std::string>& words) {
  std::vector<char*> pointers;
  for (std::string& word : words) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

fs::path FreshFolder(const std::string& name) {
  const fs::path folder =
      fs::path(::testing::TempDir()) / ("tavro-board-" + name + "-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

std::string ReadText(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
}

ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& input) {
  const fs::path folder = FreshFolder("run");
  WriteText(folder / "in", input);
  std::vector<std::string> words = argv;
  std::vector<char*> pointers = Pointers(words);
  const pid_t child = ::fork();
  if (child == 0) {
    const int in = ::open((folder / "in").c_str(), O_RDONLY);
    const int out = ::open((folder / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int none = ::open("/dev/null", O_WRONLY);
    if (in < 0 || out < 0 || none < 0) ::_exit(127);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(none, 2);
    ::execv(pointers[0], pointers.data());
    ::_exit(127);
  }
  ProgramResult result;
  result.status = WaitChild(child, 12000);
  result.out = ReadText(folder / "out");
  fs::remove_all(folder);
  return result;
}

Json VerifyReport(const std::string& replay, int* status) {
  const ProgramResult run =
      RunProgram({TAVRO_SIM_PATH, "--verify", "-", "--report", "json"}, replay);
  if (status != nullptr) *status = run.status;
  return Json::parse(run.out, nullptr, false);
}

std::string ReplayHead(const std::vector<std::string>& ini) {
  std::string head = std::string(kReplayMagic) + "\n#@ version " + kReplayVersion + "\n";
  for (const std::string& line : ini) head += "#@ ini " + line + "\n";
  return head;
}

std::string GameScript(int variant, const std::string& name) {
  std::string script = "0 start\n1 name " + name + "\n";
  for (int frame = 40; frame <= 600; frame += 10) {
    script += std::to_string(frame) + " click " + std::to_string(200 + 10 * variant) + " 300\n";
  }
  return script + "1000 move 1 1\n";
}

std::string Honest(const std::string& replay) {
  const Json report = VerifyReport(replay);
  std::string honest = replay;
  if (!report.is_object() || !report["games"].is_array()) return honest;
  for (const Json& game : report["games"]) {
    if (!game["replayed"].is_object()) continue;
    honest += "#@ game " + std::to_string(game["index"].get<int>()) + " score " +
              std::to_string(game["replayed"]["score"].get<int>()) + " level " +
              std::to_string(game["replayed"]["level"].get<int>()) + "\n";
  }
  return honest;
}

std::vector<std::string> FullRanking(int score) {
  std::vector<std::string> lines = {"[ENVIRONMENT]", "RapidFlag=0", "SoundFlag=1", "WaitFlag=1", "",
                                    "[SCORE]"};
  for (int row = 1; row <= 10; ++row) {
    lines.push_back(std::to_string(row) + "_Values=3 " + std::to_string(score) + " 0");
    lines.push_back(std::to_string(row) + "_Name=Rival " + std::to_string(row));
  }
  return lines;
}

BoardProcess::BoardProcess(const fs::path& folder, const std::vector<std::string>& options,
                           const std::map<std::string, std::string>& environment)
    : log_(folder / "board.log") {
  std::vector<std::string> words = {TAVRO_BOARD_PATH, "--listen", "127.0.0.1:0"};
  bool storage = false;
  for (const std::string& option : options) storage = storage || option == "--database";
  if (!storage) {
    words.push_back("--data");
    words.push_back((folder / "data").string());
  }
  words.insert(words.end(), options.begin(), options.end());
  std::vector<char*> pointers = Pointers(words);
  std::ofstream(log_, std::ios::app) << "";
  pid_ = ::fork();
  if (pid_ == 0) {
    for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
    const int none = ::open("/dev/null", O_RDWR);
    const int log = ::open(log_.c_str(), O_WRONLY | O_APPEND);
    if (none < 0 || log < 0) ::_exit(127);
    ::dup2(none, 0);
    ::dup2(none, 1);
    ::dup2(log, 2);
    ::execv(pointers[0], pointers.data());
    ::_exit(127);
  }
  // the log's first line names the port (a start of an earlier run on the
  // same folder is passed over: the log is read from its end as it was)
  const std::size_t from = ReadText(log_).size();
  WaitFor([&] {
    const std::string log = ReadText(log_).substr(from);
    const std::size_t at = log.find("listening on http://127.0.0.1:");
    if (at != std::string::npos) {
      port_ = std::atoi(log.c_str() + at + 30);
      return true;
    }
    int status = 0;
    return ::waitpid(pid_, &status, WNOHANG) == pid_ && (pid_ = -1, true);
  });
}

BoardProcess::~BoardProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

std::unique_ptr<httplib::Client> BoardProcess::Client() const {
  auto client = std::make_unique<httplib::Client>("127.0.0.1", port_);
  client->set_connection_timeout(30);
  client->set_read_timeout(300);
  client->set_write_timeout(120);
  return client;
}

std::string BoardProcess::Log() const {
  return ReadText(log_);
}

int BoardProcess::Signal(int signal) {
  if (pid_ <= 0) return -1;
  ::kill(pid_, signal);
  const int status = WaitChild(pid_, 12000);
  pid_ = -1;
  return status;
}

namespace {

Answer Read(const httplib::Result& result) {
  Answer answer;
  if (!result) return answer;
  answer.status = result->status;
  answer.raw = result->body;
  answer.body = Json::parse(result->body, nullptr, false);
  answer.retryAfter = result->get_header_value("Retry-After");
  answer.allowOrigin = result->get_header_value("Access-Control-Allow-Origin");
  return answer;
}

}  // namespace

Answer Post(const BoardProcess& board, const std::string& body, const std::string& query,
            bool compress) {
  std::unique_ptr<httplib::Client> client = board.Client();
  client->set_compress(compress);
  return Read(
      client->Post(("/api/v1/replays" + query).c_str(), body, "application/x-tavro-replay"));
}

Answer Get(const BoardProcess& board, const std::string& path) {
  return Read(board.Client()->Get(path.c_str()));
}

bool WaitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 6000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace board_test
