// libFuzzer target: WavOpen over arbitrary file contents. Each input is
// written to a scratch file of this process and opened; on success the
// samples are read to the end and the file closed.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "sound/wav.h"

namespace {

std::string MakeScratchPath() {
  return (std::filesystem::temp_directory_path() /
          ("wav_open_fuzz_" + std::to_string(static_cast<long>(getpid())) + ".wav"))
      .string();
}

const std::string& ScratchPath() {
  static const std::string path = MakeScratchPath();
  static const bool removeAtExit = std::atexit([] { std::remove(ScratchPath().c_str()); }) == 0;
  (void)removeAtExit;
  return path;
}

// Formats every diagnostic (so its arguments are checked too) and drops it.
void Discard(const char*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SetDebugLogCapture(Discard);
  const std::string& path = ScratchPath();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  bool written = std::fwrite(data, 1, size, file) == size;
  if (std::fclose(file) != 0 || !written) return 0;

  WavInfo info;
  WavInfoInit(info);
  int result = WavOpen(0, info, path.c_str());
  if (result == 0) {
    // Whatever the data chunk claims, reading stops at the end of the file.
    unsigned char buffer[4096];
    std::int64_t remaining = WavRemainingBytes(info);
    std::int64_t total = 0;
    int got;
    while ((got = WavRead(info, buffer, sizeof buffer)) > 0) total += got;
    if (remaining >= 0 && total != remaining) __builtin_trap();
    if (WavClose(info) != 0) __builtin_trap();
  } else if (info.file != -1 || WavClose(info) != -2) {
    // A failed open leaves nothing open.
    __builtin_trap();
  }
  return 0;
}
