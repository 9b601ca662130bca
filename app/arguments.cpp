#include "app/arguments.h"

#include <cerrno>
#include <cstdlib>

namespace {

bool IsOption(const std::string& argument) {
  return !argument.empty() && argument[0] == '-';
}

bool ParseGameNumber(const std::string& text, int* game) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < 1 || value > kMaxFromGame) return false;
  *game = static_cast<int>(value);
  return true;
}

}  // namespace

bool ParseProgramArguments(const std::vector<std::string>& arguments, ProgramOptions* options,
                           std::string* error) {
  *options = ProgramOptions();
  for (std::size_t i = 0; i < arguments.size(); i++) {
    const std::string& argument = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    if (argument == "--help" || argument == "-h") {
      options->help = true;
    } else if (argument == "--replay" || !IsOption(argument)) {
      if (!options->replayPath.empty()) {
        *error = "one replay at a time";
        return false;
      }
      if (IsOption(argument) && !hasValue) {
        *error = "missing file after --replay";
        return false;
      }
      options->replayPath = IsOption(argument) ? arguments[++i] : argument;
      if (options->replayPath.empty()) {
        *error = "empty replay path";
        return false;
      }
    } else if (argument == "--from-game") {
      if (!hasValue || !ParseGameNumber(arguments[++i], &options->fromGame)) {
        *error = "--from-game needs a game number from 1 to " + std::to_string(kMaxFromGame);
        return false;
      }
    } else {
      *error = "unknown option " + argument;
      return false;
    }
  }
  if (options->fromGame > 0 && options->replayPath.empty()) {
    *error = "--from-game needs a replay";
    return false;
  }
  return true;
}

std::string ProgramUsage(const char* programName) {
  const std::string name = programName;
  const std::string column(7 + name.size() + 22, ' ');
  return "usage: " + name + std::string(22, ' ') + "play\n" +  //
         "       " + name + " [--replay] FILE [--from-game N]\n" + column +
         "watch a recorded session (from its game N)\n";
}
