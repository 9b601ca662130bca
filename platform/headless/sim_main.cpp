// tavro-sim [--frames N] [--script FILE] [--ini PATH] [--dump-every K] [--png FILE]
// tavro-sim --verify REPLAY [--ini PATH] [--png FILE] [--report text|json] [--max-frames N]
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/files.h"
#include "platform/headless/sim_runner.h"
#include "replay/replay_file.h"

namespace {

const char kUsage[] =
    "usage: tavro-sim [--frames N] [--script FILE] [--ini PATH] [--dump-every K] [--png FILE]\n"
    "       tavro-sim --verify REPLAY [--ini PATH] [--png FILE] [--report text|json]\n"
    "                 [--max-frames N]\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "tavro-sim: %s\n%s", message.c_str(), kUsage);
  return 2;
}

bool ParseCount(const char* text, long long minimum, long long& value) {
  errno = 0;
  char* end = nullptr;
  value = std::strtoll(text, &end, 10);
  return errno == 0 && end != text && *end == '\0' && value >= minimum;
}

// The script or replay at path, "-" for standard input, read whole through
// the safe opening and the same cap; false with the reason.
bool ReadScript(const std::string& path, std::string& text, std::string& error) {
  if (path != "-") return ReadScriptFile(path, &text, &error);
  text.clear();
  char chunk[16384];
  std::size_t count;
  while ((count = std::fread(chunk, 1, sizeof chunk, stdin)) > 0) {
    if (text.size() + count > kMaxScriptBytes) {
      error = WhyScriptNotRead(OpenFailure::TooLarge);
      return false;
    }
    text.append(chunk, count);
  }
  if (std::ferror(stdin) != 0) {
    error = WhyScriptNotRead(OpenFailure::Failed);
    return false;
  }
  return true;
}

// The settings file is read by the program's own loader (with the same cap);
// one that is there but may not be read (a folder, a FIFO, a device, too
// large) is refused here, before the run, rather than passed over with the
// defaults.
bool CheckIniFile(const std::string& path, std::string& error) {
  OpenFailure failure = OpenFailure::Failed;
  std::FILE* file = PlatformOpenForReading(path.c_str(), kMaxScriptBytes, &failure);
  if (file != nullptr) std::fclose(file);
  if (failure == OpenFailure::None || failure == OpenFailure::Missing) return true;
  error = WhyScriptNotRead(failure);
  return false;
}

// Reads, parses and checks a replay to verify, and refuses one that runs
// beyond maxFrames (0: no cap); false with the reason and its kind. The
// messages are those of the script's path.
bool LoadReplayToVerify(const std::string& path, long long maxFrames, std::vector<SimEvent>& events,
                        ScriptHeader& header, std::string& error, VerifyRefusal& refusal) {
  std::string text;
  refusal = VerifyRefusal::File;
  if (!ReadScript(path, text, error)) return false;
  // a replay to verify is named as such before its lines are looked at
  refusal = VerifyRefusal::Format;
  if (!CheckReplayStart(text, error)) return false;
  if (!ParseScript(text, events, header, error)) {
    refusal = error.compare(0, 5, "line ") == 0 ? VerifyRefusal::Line : VerifyRefusal::Events;
    if (text.size() > kMaxScriptBytes) refusal = VerifyRefusal::File;
    return false;
  }
  if (!CheckReplayHeader(header, error)) {
    refusal = header.hasSettings ? VerifyRefusal::Version : VerifyRefusal::Settings;
    return false;
  }
  const long long last = LastEventFrame(events);
  if (maxFrames > 0 && last > maxFrames) {
    refusal = VerifyRefusal::TooLong;
    const long long seconds = maxFrames / 50;
    char allowed[64];
    std::snprintf(allowed, sizeof allowed, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    error = "the replay runs to frame " + std::to_string(last) + ", beyond the " +
            std::to_string(maxFrames) + " frames (" + allowed + " of play) allowed";
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // Scripts in and dumps out byte for byte as on Linux, without "\r\n".
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  SimOptions options;
  std::string scriptPath;
  bool verify = false;
  bool framesGiven = false;
  VerifyReport report = VerifyReport::Text;
  bool reportGiven = false;
  long long maxFrames = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (i + 1 >= argc) return UsageError("missing value after " + option);
    const char* value = argv[++i];
    if (option == "--frames") {
      if (!ParseCount(value, 0, options.frames)) return UsageError("bad --frames value");
      framesGiven = true;
    } else if (option == "--dump-every") {
      if (!ParseCount(value, 1, options.dumpEvery)) return UsageError("bad --dump-every value");
    } else if (option == "--script" || option == "--verify") {
      if (!scriptPath.empty()) return UsageError("one script or replay at a time");
      scriptPath = value;
      if (scriptPath.empty()) return UsageError("empty " + option + " path");
      verify = option == "--verify";
    } else if (option == "--ini") {
      options.iniPath = value;
      if (options.iniPath.empty()) return UsageError("empty --ini path");
    } else if (option == "--png") {
      options.pngPath = value;
    } else if (option == "--report") {
      const std::string kind = value;
      if (kind != "text" && kind != "json") return UsageError("bad --report value");
      report = kind == "json" ? VerifyReport::Json : VerifyReport::Text;
      reportGiven = true;
    } else if (option == "--max-frames") {
      if (!ParseCount(value, 1, maxFrames)) return UsageError("bad --max-frames value");
    } else {
      return UsageError("unknown option " + option);
    }
  }

  if (!verify && (reportGiven || maxFrames > 0)) {
    return UsageError("--report and --max-frames go with --verify");
  }
  const bool json = report == VerifyReport::Json;

  std::string error;
  if (!options.iniPath.empty() && !CheckIniFile(options.iniPath, error)) {
    std::fprintf(stderr, "tavro-sim: settings file %s: %s\n", options.iniPath.c_str(),
                 error.c_str());
    if (json) WriteVerifyRefusalJson(stdout, VerifyRefusal::File, "settings file: " + error);
    return 2;
  }
  std::vector<SimEvent> events;
  ScriptHeader header;
  VerifyRefusal refusal = VerifyRefusal::File;
  if (verify) {
    if (!LoadReplayToVerify(scriptPath, maxFrames, events, header, error, refusal)) {
      std::fprintf(stderr, "tavro-sim: %s: %s\n",
                   scriptPath == "-" ? "standard input" : scriptPath.c_str(), error.c_str());
      if (json) WriteVerifyRefusalJson(stdout, refusal, error);
      return 2;
    }
  } else if (!scriptPath.empty()) {
    std::string text;
    if (!ReadScript(scriptPath, text, error) || !ParseSimScript(text, events, error, &header)) {
      std::fprintf(stderr, "tavro-sim: %s: %s\n",
                   scriptPath == "-" ? "standard input" : scriptPath.c_str(), error.c_str());
      return 2;
    }
  }
  options.baseDirectory = PlatformExecutableFolder();  // where the sound files lie
  if (verify) return VerifyReplay(options, events, header, stdout, report);
  if (header.isReplay) {
    // a replay starts from its own settings and, unless told otherwise, runs
    // to its last event
    options.startSettings = header.settingsText;
    if (!framesGiven) options.frames = LastEventFrame(events);
  }
  return RunSimulation(options, events, stdout);
}
