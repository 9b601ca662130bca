// tavro-board: the shared ranking server. It accepts a game's score only
// when its replay, played by the runner in a child process, reproduces it.
//
//   tavro-board [--listen ADDR:PORT] [--data DIR | --database postgresql://...]
//               [--site DIR] [--workers N] [--queue N] [--rate N] [--forwarded-for]
//               [--sim PATH] [--max-frames N] [--verify-cpu SECONDS] [--verify-memory MIB]
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "board/server.h"

namespace {

const char kUsage[] =
    "usage: tavro-board [--listen ADDR:PORT] [--data DIR | --database postgresql://...]\n"
    "                   [--site DIR] [--workers N] [--queue N] [--rate N] [--forwarded-for]\n"
    "                   [--sim PATH] [--max-frames N] [--verify-cpu SECONDS]\n"
    "                   [--verify-memory MIB]\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "tavro-board: %s\n%s", message.c_str(), kUsage);
  return 2;
}

bool ParseNumber(const char* text, long long minimum, long long maximum, long long& value) {
  errno = 0;
  char* end = nullptr;
  value = std::strtoll(text, &end, 10);
  return errno == 0 && end != text && *end == '\0' && value >= minimum && value <= maximum;
}

// "ADDR:PORT", the address possibly in brackets ("[::1]:8080").
bool ParseListen(const std::string& text, std::string& host, int& port) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  host = text.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  long long value;
  if (!ParseNumber(text.c_str() + colon + 1, 0, 65535, value)) return false;
  port = static_cast<int>(value);
  return true;
}

// The folder for the SQLite file: $XDG_DATA_HOME/tavro-board, by default
// ~/.local/share/tavro-board.
std::string DefaultDataFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') return std::string(data) + "/tavro-board";
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') return std::string();
  return std::string(home) + "/.local/share/tavro-board";
}

// mkdir -p, the new folders for this user only.
bool MakeFolders(const std::string& path) {
  for (std::size_t at = 1; at <= path.size(); ++at) {
    if (at != path.size() && path[at] != '/') continue;
    const std::string part = path.substr(0, at);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string OwnExecutable() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return std::string();
  return std::string(path, static_cast<std::size_t>(length));
}

}  // namespace

int main(int argc, char** argv) {
  BoardOptions options;
  const unsigned cores = std::thread::hardware_concurrency();
  options.workers = cores > 0 ? static_cast<int>(cores) : 1;
#ifdef TAVRO_BOARD_SANITIZED
  // the sanitizers reserve terabytes of address space at start
  options.limits.memoryBytes = 0;
#else
  options.limits.memoryBytes = 1024ull << 20;
#endif
  std::string dataFolder;
  std::string database;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (option == "--forwarded-for") {
      options.forwardedFor = true;
      continue;
    }
    if (i + 1 >= argc) return UsageError("missing value after " + option);
    const char* value = argv[++i];
    long long number = 0;
    if (option == "--listen") {
      if (!ParseListen(value, options.host, options.port)) return UsageError("bad --listen value");
    } else if (option == "--data") {
      dataFolder = value;
      if (dataFolder.empty()) return UsageError("empty --data folder");
    } else if (option == "--database") {
      database = value;
      if (database.rfind("postgresql://", 0) != 0 && database.rfind("postgres://", 0) != 0) {
        return UsageError("--database takes a postgresql:// address");
      }
    } else if (option == "--site") {
      options.site = value;
    } else if (option == "--workers") {
      if (!ParseNumber(value, 1, 256, number)) return UsageError("bad --workers value");
      options.workers = static_cast<int>(number);
    } else if (option == "--queue") {
      if (!ParseNumber(value, 1, 100000, number)) return UsageError("bad --queue value");
      options.queue = static_cast<std::size_t>(number);
    } else if (option == "--rate") {
      if (!ParseNumber(value, 0, 1000000, number)) return UsageError("bad --rate value");
      options.ratePerMinute = static_cast<double>(number);
    } else if (option == "--sim") {
      options.limits.simPath = value;
    } else if (option == "--max-frames") {
      if (!ParseNumber(value, 1, 24LL * 60 * 60 * 50, number)) {
        return UsageError("bad --max-frames value");
      }
      options.limits.maxFrames = number;
    } else if (option == "--verify-cpu") {
      if (!ParseNumber(value, 1, 86400, number)) return UsageError("bad --verify-cpu value");
      options.limits.cpuSeconds = static_cast<int>(number);
    } else if (option == "--verify-memory") {
      if (!ParseNumber(value, 0, 1LL << 20, number)) return UsageError("bad --verify-memory value");
      options.limits.memoryBytes = static_cast<unsigned long long>(number) << 20;
    } else {
      return UsageError("unknown option " + option);
    }
  }
  if (!dataFolder.empty() && !database.empty()) return UsageError("--data or --database, not both");
  if (options.limits.simPath.empty()) options.limits.simPath = RunnerBeside(OwnExecutable());
  if (options.limits.simPath.empty() || ::access(options.limits.simPath.c_str(), X_OK) != 0) {
    std::fprintf(stderr,
                 "tavro-board: no runner (tavro-sim) beside the program; give --sim PATH\n");
    return 2;
  }
  if (!options.site.empty()) {
    struct stat info;
    if (::stat(options.site.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
      std::fprintf(stderr, "tavro-board: --site %s is no folder\n", options.site.c_str());
      return 2;
    }
  }

  // SIGTERM, SIGINT and SIGHUP are taken by one thread, which stops the
  // server in order; every other thread (and so every worker) has them
  // blocked. The verification children set their own signals.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stopSignals, signal);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, nullptr);

  std::unique_ptr<Store> store;
  std::string where;
  try {
    if (!database.empty()) {
      store = OpenPostgresStore(database, options.workers + 8);
      where = "postgresql";
    } else {
      if (dataFolder.empty()) dataFolder = DefaultDataFolder();
      if (dataFolder.empty() || !MakeFolders(dataFolder)) {
        std::fprintf(stderr, "tavro-board: cannot make the data folder %s\n", dataFolder.c_str());
        return 1;
      }
      where = dataFolder + "/board.sqlite";
      store = OpenSqliteStore(where);
    }
  } catch (const StoreError& e) {
    std::fprintf(stderr, "tavro-board: %s\n", e.what());
    return 1;
  }

  Board board(options, std::move(store));
  std::string error;
  if (!board.Bind(&error)) {
    std::fprintf(stderr, "tavro-board: %s\n", error.c_str());
    return 1;
  }
  std::thread stopper([&board, stopSignals] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    std::fprintf(stderr, "tavro-board: %s: stopping after %zu verification(s)\n", strsignal(signal),
                 board.Busy());
    board.Stop();
  });
  const std::string host =
      options.host.find(':') != std::string::npos ? "[" + options.host + "]" : options.host;
  std::fprintf(stderr, "tavro-board: listening on http://%s:%d/ (%s, %d worker(s), runner %s)\n",
               host.c_str(), board.Port(), where.c_str(), options.workers,
               options.limits.simPath.c_str());
  board.Run();
  // a stop not asked for by a signal still ends the signal thread
  pthread_kill(stopper.native_handle(), SIGTERM);
  stopper.join();
  std::fprintf(stderr, "tavro-board: stopped\n");
  return 0;
}
