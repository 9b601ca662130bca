// Reading and writing whole files in tests, and making the odd ones. Windows
// has no FIFOs, device nodes or root: there the makers make nothing and say
// so, and the tests pass over those cases.
#pragma once

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

#ifdef _WIN32

inline bool RunningAsRoot() {
  return false;
}
inline bool MakeFifo(const std::filesystem::path&) {
  return false;
}
inline bool MakeDeviceNode(const std::filesystem::path&) {
  return false;
}

#else

inline bool RunningAsRoot() {
  return ::geteuid() == 0;
}

// A FIFO: with no writer, a blocking open to read never returns.
inline bool MakeFifo(const std::filesystem::path& path) {
  return ::mkfifo(path.c_str(), 0600) == 0;
}

// A character device with the numbers of /dev/null, in a place where
// replacing it by mistake harms nothing. Needs root.
inline bool MakeDeviceNode(const std::filesystem::path& path) {
  return ::mknod(path.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0;
}

// A socket file; the socket itself is closed, the file stays.
inline bool MakeSocketFile(const std::filesystem::path& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.string().size() >= sizeof address.sun_path) return false;
  std::strcpy(address.sun_path, path.c_str());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return false;
  const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return bound;
}

#endif
