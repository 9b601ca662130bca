// RIFF WAVE reader. Files are kept in a small table of standard streams so
// that WavInfo can hold a plain integer descriptor. Only regular files of at
// most kWavMaxFileBytes are opened, so that an odd file named like an effect
// can neither block start-up nor fill the memory.
#include "sound/wav.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int kFileSlots = 8;
constexpr int kFormatBufferSize = 256;
constexpr std::int64_t kMaxFileLength = std::int64_t{1} << 32;

std::FILE* OpenFiles[kFileSlots];
OpenFailure LastOpenFailure = OpenFailure::None;

std::FILE* FileOf(int descriptor) {
  if (descriptor < 0 || descriptor >= kFileSlots) return nullptr;
  return OpenFiles[descriptor];
}

int OpenFile(const char* path) {
  LastOpenFailure = OpenFailure::Failed;
  if (path == nullptr) return -1;
  int slot = 0;
  while (slot < kFileSlots && OpenFiles[slot] != nullptr) ++slot;
  if (slot == kFileSlots) return -1;
  std::FILE* file = PlatformOpenForReading(path, kWavMaxFileBytes, &LastOpenFailure);
  if (file == nullptr) return -1;
  OpenFiles[slot] = file;
  return slot;
}

void CloseFile(int descriptor) {
  std::fclose(OpenFiles[descriptor]);
  OpenFiles[descriptor] = nullptr;
}

// Length of the file, or -1 when it cannot be determined. Leaves the
// position where it was.
std::int64_t FileLength(std::FILE* file) {
  long position = std::ftell(file);
  if (position < 0 || std::fseek(file, 0, SEEK_END) != 0) return -1;
  long end = std::ftell(file);
  if (std::fseek(file, position, SEEK_SET) != 0) return -1;
  return end < 0 ? -1 : std::int64_t{end} - position;
}

// Seeks forward in steps that fit a long everywhere.
bool SeekForward(std::FILE* file, std::uint32_t length) {
  constexpr std::uint32_t kStep = 0x40000000;
  while (length > 0) {
    std::uint32_t step = length < kStep ? length : kStep;
    if (std::fseek(file, static_cast<long>(step), SEEK_CUR) != 0) return false;
    length -= step;
  }
  return true;
}

std::uint32_t Le16(const unsigned char* p) {
  return p[0] | (p[1] << 8);
}

std::uint32_t Le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

int Fail(WavInfo& info, int code) {
  CloseFile(info.file);
  info.file = -1;
  return code;
}

}  // namespace

void WavInfoInit(WavInfo& info) {
  info.sampleRate = 44100;
  info.channels = 1;
  info.bytesPerSample = 2;
  info.frameCount = 0;
  info.file = -1;
  info.mode = 0;
  info.reserved1 = 0;
  info.reserved2 = 0;
}

int WavOpen(int mode, WavInfo& info, const char* path) {
  info.mode = mode;
  info.file = OpenFile(path);
  if (info.file < 0) return -1;
  LastOpenFailure = OpenFailure::None;
  std::FILE* file = OpenFiles[info.file];

  // Only a file that grew since it was opened can be this long.
  if (FileLength(file) >= kMaxFileLength) return Fail(info, -20);

  // A header cut short by the end of the file cannot say "RIFF".
  unsigned char header[20];
  std::size_t got = std::fread(header, 1, sizeof header, file);
  if (std::ferror(file)) return Fail(info, -2);
  if (got < sizeof header || std::memcmp(header, "RIFF", 4) != 0) return Fail(info, -20);
  if (std::memcmp(header + 8, "WAVE", 4) != 0) {
    DebugLog("error 2\n");
    return Fail(info, -11);
  }
  if (std::memcmp(header + 12, "fmt ", 4) != 0) {
    DebugLog("error 3\n");
    return Fail(info, -12);
  }
  std::uint32_t formatLength = Le32(header + 16);
  if (formatLength < 1 || formatLength > kFormatBufferSize) {
    DebugLog("error 4 %d\n", static_cast<int>(formatLength));
    return Fail(info, -13);
  }

  // Fields the chunk does not reach read as 0.
  unsigned char format[kFormatBufferSize] = {};
  std::fread(format, 1, formatLength, file);
  if (std::ferror(file)) {
    DebugLog("error 5\n");
    return Fail(info, -14);
  }
  std::uint32_t formatTag = Le16(format);
  std::uint32_t channels = Le16(format + 2);
  std::uint32_t samplesPerSecond = Le32(format + 4);
  std::uint32_t bytesPerSecond = Le32(format + 8);
  std::uint32_t blockAlign = Le16(format + 12);
  std::uint32_t bitsPerSample = Le16(format + 14);
  if (formatTag != 1) {
    DebugLog("error u1\n");
    return Fail(info, -21);
  }
  if (channels != 1 && channels != 2) {
    DebugLog("error u2\n");
    return Fail(info, -21);
  }
  if (bitsPerSample != 8 && bitsPerSample != 16) {
    DebugLog("error u3\n");
    return Fail(info, -21);
  }
  if (blockAlign / channels != bitsPerSample / 8) {
    DebugLog("error 6\n");
    return Fail(info, -15);
  }

  // Chunks follow the format chunk directly; each is skipped by exactly its
  // length until the data chunk.
  std::uint32_t dataLength = 0;
  for (;;) {
    unsigned char chunk[8];
    got = std::fread(chunk, 1, sizeof chunk, file);
    if (got < sizeof chunk) {
      DebugLog("error 2\n");
      return Fail(info, -2);
    }
    if (std::memcmp(chunk, "data", 4) == 0) {
      dataLength = Le32(chunk + 4);
      break;
    }
    if (!SeekForward(file, Le32(chunk + 4))) return Fail(info, -2);
  }

  DebugLog("f=%d, rate=%d, bit=%d, channel=%d\n", static_cast<int>(samplesPerSecond),
           static_cast<int>(bytesPerSecond), static_cast<int>(bitsPerSample),
           static_cast<int>(channels));
  std::uint32_t frameBytes = bitsPerSample / 8 * channels;
  info.sampleRate = static_cast<std::int32_t>(samplesPerSecond);
  info.bytesPerSample = static_cast<std::int32_t>(bitsPerSample / 8);
  info.channels = static_cast<std::int32_t>(channels);
  info.frameCount = static_cast<std::int32_t>(dataLength / frameBytes);
  if (dataLength % frameBytes != 0) return Fail(info, -30);
  return 0;
}

OpenFailure WavOpenFailure() {
  return LastOpenFailure;
}

int WavClose(WavInfo& info) {
  if (FileOf(info.file) == nullptr) return -2;
  CloseFile(info.file);
  return 0;
}

int WavRead(const WavInfo& info, void* buffer, int count) {
  std::FILE* file = FileOf(info.file);
  if (file == nullptr || buffer == nullptr || count < 0) return -1;
  std::size_t got = std::fread(buffer, 1, static_cast<std::size_t>(count), file);
  if (got == 0 && std::ferror(file)) return -1;
  return static_cast<int>(got);
}

std::int64_t WavRemainingBytes(const WavInfo& info) {
  std::FILE* file = FileOf(info.file);
  return file == nullptr ? -1 : FileLength(file);
}
