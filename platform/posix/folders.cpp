// Where things are on a POSIX system: the running executable's folder, the
// user's settings file and replays folder.

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "host/files.h"
#include "platform/posix/xdg_folders.h"

std::string PlatformExecutableFolder() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return ".";
  const std::string executable(path, static_cast<std::size_t>(length));
  const std::size_t slash = executable.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : executable.substr(0, slash);
}

std::string XdgTavroPath(const char* variable, const char* homeFallback, const char* leaf) {
  const char* base = std::getenv(variable);
  // a relative base directory is invalid and ignored
  if (base != nullptr && base[0] == '/') return std::string(base) + "/tavro/" + leaf;
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') {
    return std::string(home) + "/" + homeFallback + "/tavro/" + leaf;
  }
  return std::string();
}

std::string DefaultSettingsFilePath() {
  return XdgTavroPath("XDG_CONFIG_HOME", ".config", "TAVRO.INI");
}

std::string DefaultReplaysFolder() {
  return XdgTavroPath("XDG_DATA_HOME", ".local/share", "replays");
}

const char* PlatformNewFileLineEnd() {
  return "\n";
}
