#include "board/verifier.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr std::size_t kMaxReportBytes = 8u << 20;

void CloseIfOpen(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Writing to a runner that has ended must not end the server.
void IgnoreBrokenPipes() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, nullptr);
  });
}

// In the child between fork and exec: async-signal-safe calls only.
[[noreturn]] void StartRunner(const VerifierLimits& limits, const std::vector<char*>& argv,
                              int input, int output, int nothing) {
  ::setpgid(0, 0);  // a terminal's Ctrl-C to the server's group leaves it running
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::dup2(input, 0) < 0 || ::dup2(output, 1) < 0 || ::dup2(nothing, 2) < 0) ::_exit(127);
  ::close_range(3, ~0u, 0);
  struct sigaction standard = {};
  standard.sa_handler = SIG_DFL;
  for (int signal : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGXCPU}) {
    ::sigaction(signal, &standard, nullptr);
  }
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  const rlim_t cpu = static_cast<rlim_t>(limits.cpuSeconds);
  struct rlimit limit = {cpu, cpu + 1};  // SIGXCPU, then SIGKILL a second later
  if (::setrlimit(RLIMIT_CPU, &limit) != 0) ::_exit(127);
  if (limits.memoryBytes > 0) {
    limit = {static_cast<rlim_t>(limits.memoryBytes), static_cast<rlim_t>(limits.memoryBytes)};
    if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(127);
  }
  limit = {0, 0};
  ::setrlimit(RLIMIT_CORE, &limit);
  ::setrlimit(RLIMIT_FSIZE, &limit);
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

}  // namespace

std::string RunnerBeside(const std::string& executable) {
  const std::size_t slash = executable.rfind('/');
  if (slash == std::string::npos) return std::string();
  std::string runner = executable.substr(0, slash + 1) + "tavro-sim";
  return ::access(runner.c_str(), X_OK) == 0 ? runner : std::string();
}

VerifierRun RunVerifier(const VerifierLimits& limits, const std::string& replay) {
  IgnoreBrokenPipes();
  VerifierRun run;
  std::vector<std::string> words = {limits.simPath,
                                    "--verify",
                                    "-",
                                    "--report",
                                    "json",
                                    "--max-frames",
                                    std::to_string(limits.maxFrames)};
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  int in[2] = {-1, -1};
  int out[2] = {-1, -1};
  int nothing = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (nothing < 0 || ::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
    run.error = std::string("cannot make the runner's pipes: ") + std::strerror(errno);
    for (int* fd : {&in[0], &in[1], &out[0], &out[1], &nothing}) CloseIfOpen(*fd);
    return run;
  }
  const pid_t child = ::fork();
  if (child == 0) StartRunner(limits, argv, in[0], out[1], nothing);
  CloseIfOpen(in[0]);
  CloseIfOpen(out[1]);
  CloseIfOpen(nothing);
  if (child < 0) {
    run.error = std::string("cannot start the runner: ") + std::strerror(errno);
    CloseIfOpen(in[1]);
    CloseIfOpen(out[0]);
    return run;
  }
  ::fcntl(in[1], F_SETFL, O_NONBLOCK);
  ::fcntl(out[0], F_SETFL, O_NONBLOCK);

  // The replay goes in while the report comes out, until the report ends or
  // the wall-clock cap (a backstop: the CPU limit ends a busy child) passes.
  const int wall = limits.wallSeconds > 0 ? limits.wallSeconds : 4 * limits.cpuSeconds + 30;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(wall);
  std::size_t written = 0;
  if (replay.empty()) CloseIfOpen(in[1]);
  bool killed = false;
  while (out[0] >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      ::kill(child, SIGKILL);
      killed = true;
      break;
    }
    struct pollfd fds[2] = {{out[0], POLLIN, 0}, {in[1], POLLOUT, 0}};
    const int count =
        ::poll(fds, in[1] >= 0 ? 2 : 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
    if (count < 0 && errno != EINTR) break;
    if (count <= 0) continue;
    if (in[1] >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
      const ssize_t n = ::write(in[1], replay.data() + written, replay.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if ((n < 0 && errno != EAGAIN && errno != EINTR) || written == replay.size()) {
        CloseIfOpen(in[1]);
      }
    }
    if ((fds[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
      char chunk[16384];
      const ssize_t n = ::read(out[0], chunk, sizeof chunk);
      if (n > 0) {
        if (run.report.size() + static_cast<std::size_t>(n) > kMaxReportBytes) {
          ::kill(child, SIGKILL);
          run.report.clear();
          break;
        }
        run.report.append(chunk, static_cast<std::size_t>(n));
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        CloseIfOpen(out[0]);
      }
    }
  }
  CloseIfOpen(in[1]);
  CloseIfOpen(out[0]);
  int status = 0;
  struct rusage usage = {};
  while (::wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.maxRssKiB = usage.ru_maxrss;
  if (WIFEXITED(status)) {
    run.end.exitStatus = WEXITSTATUS(status);
    if (run.end.exitStatus == 127) run.error = "the runner " + limits.simPath + " did not start";
  } else if (WIFSIGNALED(status)) {
    run.end.signal = WTERMSIG(status);
    run.end.outOfTime = killed || run.end.signal == SIGXCPU ||
                        (run.end.signal == SIGKILL && run.cpuSeconds >= limits.cpuSeconds);
  }
  return run;
}
