// The browser has no file system of its own. The program's files map onto
// what a page has:
//   /storage/KEY        the page's localStorage item KEY, as UTF-8 text
//                       (the settings file is "TAVRO.INI");
//   /program/NAME.wav   the effect files compiled into the program.
// Nothing else exists. localStorage replaces an item whole, so a reader sees
// the old or the new text, never a mix. Items have no links, so the calls
// that never follow one are the plain ones; there are no folders to list
// and nothing is removed.
#include <emscripten.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "host/embedded_waves.h"
#include "host/files.h"
#include "world/world.h"

namespace {

constexpr std::string_view kStorageFolder = "/storage/";
constexpr std::string_view kProgramFolder = "/program/";

// The item's text as UTF-8 in a buffer from malloc (the caller frees it) and
// its length in *length; null when there is no such item or storage is
// unavailable (private browsing may refuse it).
// clang-format off
EM_JS(char*, StorageGet, (const char* key, int* length), {
  let text = null;
  try {
    text = window.localStorage.getItem(UTF8ToString(key));
  } catch (e) {
    return 0;
  }
  return text === null ? 0 : TavroPage.programString(text, length);
});

// Stores the bytes (UTF-8) as the item's text; false, and the player told,
// when the storage refuses (full, or turned off).
EM_JS(int, StorageSet, (const char* key, const char* bytes, int size), {
  const text = new TextDecoder("utf-8").decode(HEAPU8.subarray(bytes, bytes + size));
  try {
    window.localStorage.setItem(UTF8ToString(key), text);
    return 1;
  } catch (e) {
    TavroPage.storageRefused();
    return 0;
  }
});
// clang-format on

struct ProgramFile {
  const char* name;
  int resourceId;
};
constexpr ProgramFile kProgramFiles[] = {
    {"Pyuin.wav", kWaveShot},
    {"Gooon.wav", kWaveLands},
    {"Bugu.wav", kWaveFireworks},
    {"Chyuin.wav", kWaveDestroyed},
};

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// A stream over a copy of the bytes, in the runtime's memory file system.
std::FILE* StreamOf(const char* bytes, std::size_t size) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) return nullptr;
  if (std::fwrite(bytes, 1, size, file) != size || std::fseek(file, 0, SEEK_SET) != 0) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

std::FILE* Refuse(OpenFailure reason, OpenFailure* failure) {
  if (failure != nullptr) *failure = reason;
  return nullptr;
}

}  // namespace

std::FILE* PlatformOpenForReading(const char* path, unsigned long long maxBytes,
                                  OpenFailure* failure) {
  const std::string_view name = path;
  if (StartsWith(name, kStorageFolder)) {
    const std::string key(name.substr(kStorageFolder.size()));
    int length = 0;
    char* text = key.empty() ? nullptr : StorageGet(key.c_str(), &length);
    if (text == nullptr) return Refuse(OpenFailure::Missing, failure);
    std::FILE* file = nullptr;
    OpenFailure reason = OpenFailure::Failed;
    if (static_cast<unsigned long long>(length) > maxBytes) {
      reason = OpenFailure::TooLarge;
    } else {
      file = StreamOf(text, static_cast<std::size_t>(length));
    }
    std::free(text);
    if (file == nullptr) return Refuse(reason, failure);
    if (failure != nullptr) *failure = OpenFailure::None;
    return file;
  }
  if (StartsWith(name, kProgramFolder)) {
    const std::string_view file = name.substr(kProgramFolder.size());
    for (const ProgramFile& entry : kProgramFiles) {
      if (file != entry.name) continue;
      const WaveResource wave = FindEmbeddedWave(entry.resourceId);
      if (wave.data == nullptr) break;
      if (wave.size > maxBytes) return Refuse(OpenFailure::TooLarge, failure);
      std::FILE* stream = StreamOf(reinterpret_cast<const char*>(wave.data), wave.size);
      if (stream == nullptr) return Refuse(OpenFailure::Failed, failure);
      if (failure != nullptr) *failure = OpenFailure::None;
      return stream;
    }
  }
  return Refuse(OpenFailure::Missing, failure);
}

bool PlatformWriteFileAtomically(const char* path, const void* data, std::size_t size) {
  return PlatformWriteRegularFile(path, data, size, WriteMode::ReplaceRegular) ==
         WriteFailure::None;
}

WriteFailure PlatformWriteRegularFile(const char* path, const void* data, std::size_t size,
                                      WriteMode mode) {
  const std::string_view name = path == nullptr ? "" : path;
  if (!StartsWith(name, kStorageFolder) || size > 0x7fffffff) return WriteFailure::Failed;
  const std::string key(name.substr(kStorageFolder.size()));
  if (key.empty() || key.find('/') != std::string::npos) return WriteFailure::Failed;
  if (mode == WriteMode::CreateNew) {
    int length = 0;
    char* text = StorageGet(key.c_str(), &length);
    std::free(text);
    if (text != nullptr) return WriteFailure::Exists;
  }
  return StorageSet(key.c_str(), static_cast<const char*>(data), static_cast<int>(size)) != 0
             ? WriteFailure::None
             : WriteFailure::Failed;
}

std::FILE* PlatformOpenRegularForReading(const char* path, unsigned long long maxBytes,
                                         OpenFailure* failure) {
  return PlatformOpenForReading(path, maxBytes, failure);
}

bool PlatformRemoveRegularFile(const char*) {
  return false;
}

bool PlatformListFolder(const char*, std::size_t, std::vector<FolderEntry>* entries) {
  entries->clear();
  return false;
}

std::string PlatformExecutableFolder() {
  return std::string(kProgramFolder.substr(0, kProgramFolder.size() - 1));
}

std::string DefaultSettingsFilePath() {
  return std::string(kStorageFolder) + "TAVRO.INI";
}

// A page keeps no replay files.
std::string DefaultReplaysFolder() {
  return std::string();
}
