// The browser has no file system of its own. The program's files map onto
// what a page has:
//   /storage/KEY        the page's localStorage item KEY, as UTF-8 text
//                       (the settings file is "TAVRO.INI");
//   /program/NAME.wav   the effect files compiled into the program.
// Nothing else exists. localStorage replaces an item whole, so a reader sees
// the old or the new text, never a mix. Items have no links, so the calls
// that never follow one are the plain ones; there are no folders to list
// and nothing is removed.
//
// Copying an item into the program and storing it cost time in proportion
// to its size, so the item last read is kept, here as bytes and in the page
// as the text it came from: while the stored text is still that text, it is
// read from the copy, and a save that would store the same bytes stores
// nothing. An item over the reader's limit is refused before it is copied.
#include <emscripten.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "host/embedded_waves.h"
#include "host/files.h"
#include "host/own_folder.h"
#include "world/world.h"

namespace {

constexpr std::string_view kStorageFolder = "/storage/";
constexpr std::string_view kProgramFolder = "/program/";

// How StorageRead answered.
enum StorageAnswer {
  kStorageMissing = 0,    // no such item, or storage unavailable (private browsing)
  kStorageCopied = 1,     // the text is in *bytes
  kStorageUnchanged = 2,  // the text is the one the program last read or stored
  kStorageTooLarge = 3,   // more than maxBytes bytes of UTF-8
  kStorageFailed = 4,     // the program's memory is full
};

// Reads the item: when `known` (the program holds a copy) and the stored
// text is the one the program last read or stored, kStorageUnchanged;
// otherwise its text as UTF-8 in a buffer from malloc (the caller frees it)
// in *bytes, its length in *length, unless it holds more than maxBytes
// bytes. The page counts the copies in TavroPage.storageCopies.
// clang-format off
EM_JS(int, StorageRead, (const char* key, double maxBytes, int known, char** bytes, int* length), {
  const name = UTF8ToString(key);
  const page = TavroPage;
  let text = null;
  try {
    text = window.localStorage.getItem(name);
  } catch (e) {
    text = null;
  }
  if (text !== null && known && page.storageKnown.get(name) === text) return 2;
  page.storageKnown.delete(name);
  if (text === null) return 0;
  // UTF-8 takes at least a byte for each UTF-16 unit
  if (text.length > maxBytes) return 3;
  const size = Module.lengthBytesUTF8(text);
  if (size > maxBytes) return 3;
  const buffer = Module._malloc(size + 1);
  if (!buffer) return 4;
  Module.stringToUTF8(text, buffer, size + 1);
  HEAP32[bytes >> 2] = buffer;
  HEAP32[length >> 2] = size;
  page.storageKnown.set(name, text);
  page.storageCopies++;
  return 1;
});

// Whether the stored item is still the text the program last read or stored.
EM_JS(int, StorageUnchanged, (const char* key), {
  const name = UTF8ToString(key);
  const known = TavroPage.storageKnown.get(name);
  try {
    return known !== undefined && window.localStorage.getItem(name) === known ? 1 : 0;
  } catch (e) {
    return 0;
  }
});

// Whether there is an item under the key.
EM_JS(int, StorageHas, (const char* key), {
  try {
    return window.localStorage.getItem(UTF8ToString(key)) !== null ? 1 : 0;
  } catch (e) {
    return 0;
  }
});

// Stores the bytes (UTF-8) as the item's text, remembered as the text the
// program last stored when `remember`; false, and the player told, when the
// storage refuses (full, or turned off). The page counts the items stored
// in TavroPage.storageWrites.
EM_JS(int, StorageSet, (const char* key, const char* bytes, int size, int remember), {
  const name = UTF8ToString(key);
  const text = new TextDecoder("utf-8").decode(HEAPU8.subarray(bytes, bytes + size));
  TavroPage.storageKnown.delete(name);
  try {
    window.localStorage.setItem(name, text);
  } catch (e) {
    TavroPage.storageRefused();
    return 0;
  }
  if (remember) TavroPage.storageKnown.set(name, text);
  TavroPage.storageWrites++;
  return 1;
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

// The item the program last read, as its bytes (empty key: none).
struct KnownItem {
  std::string key;
  std::string bytes;
};
KnownItem known;

std::FILE* OpenStorageItem(const std::string& key, unsigned long long maxBytes,
                           OpenFailure* failure) {
  if (key.empty()) return Refuse(OpenFailure::Missing, failure);
  const bool haveCopy = known.key == key;
  char* bytes = nullptr;
  int length = 0;
  const int answer =
      StorageRead(key.c_str(), static_cast<double>(maxBytes), haveCopy ? 1 : 0, &bytes, &length);
  if (answer != kStorageUnchanged && haveCopy) known = KnownItem();
  switch (answer) {
    case kStorageUnchanged:
      if (known.bytes.size() > maxBytes) return Refuse(OpenFailure::TooLarge, failure);
      break;
    case kStorageCopied:
      known.key = key;
      known.bytes.assign(bytes, static_cast<std::size_t>(length));
      std::free(bytes);
      break;
    case kStorageMissing:
      return Refuse(OpenFailure::Missing, failure);
    case kStorageTooLarge:
      return Refuse(OpenFailure::TooLarge, failure);
    default:
      return Refuse(OpenFailure::Failed, failure);
  }
  std::FILE* file = StreamOf(known.bytes.data(), known.bytes.size());
  if (file == nullptr) return Refuse(OpenFailure::Failed, failure);
  if (failure != nullptr) *failure = OpenFailure::None;
  return file;
}

bool StoreItem(const std::string& key, const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  const bool isKnown = known.key == key;
  if (isKnown && known.bytes.size() == size &&
      (size == 0 || std::memcmp(known.bytes.data(), bytes, size) == 0) &&
      StorageUnchanged(key.c_str()) != 0) {
    return true;
  }
  if (isKnown) known = KnownItem();
  if (StorageSet(key.c_str(), bytes, static_cast<int>(size), isKnown ? 1 : 0) == 0) return false;
  if (isKnown) {
    known.key = key;
    known.bytes.assign(bytes, size);
  }
  return true;
}

}  // namespace

std::FILE* PlatformOpenForReading(const char* path, unsigned long long maxBytes,
                                  OpenFailure* failure) {
  const std::string_view name = path;
  if (StartsWith(name, kStorageFolder)) {
    return OpenStorageItem(std::string(name.substr(kStorageFolder.size())), maxBytes, failure);
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
  if (mode == WriteMode::CreateNew && StorageHas(key.c_str()) != 0) return WriteFailure::Exists;
  return StoreItem(key, data, size) ? WriteFailure::None : WriteFailure::Failed;
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

const char* PlatformNewFileLineEnd() {
  return "\n";
}
