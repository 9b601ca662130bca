// Where things are on a POSIX system: the running executable's folder and the
// user's settings file.

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "records/settings.h"

std::string PlatformExecutableFolder() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return ".";
  const std::string executable(path, static_cast<std::size_t>(length));
  const std::size_t slash = executable.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : executable.substr(0, slash);
}

std::string DefaultSettingsFilePath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  // a relative XDG_CONFIG_HOME is invalid and ignored
  if (config != nullptr && config[0] == '/') return std::string(config) + "/tavro/TAVRO.INI";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.config/tavro/TAVRO.INI";
  return std::string();
}
