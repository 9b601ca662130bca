// The browser has no file system of its own. The program's files map onto
// what a page has:
//   /storage/KEY        the page's localStorage item KEY, as UTF-8 text
//                       (the settings file is "TAVRO.INI");
//   /program/NAME.wav   the effect files compiled into the program;
//   /replays/...        the replays folder, its files kept by the page
//                       (page/replays.js) in memory and in IndexedDB.
// Nothing else exists. localStorage replaces an item whole, so a reader sees
// the old or the new text, never a mix. Items have no links, so the calls
// that never follow one are the plain ones; storage items are not listed
// nor removed.
//
// Copying an item into the program and storing it cost time in proportion
// to its size, so the item last read is kept, here as bytes and in the page
// as the text it came from: while the stored text is still that text, it is
// read from the copy, and a save that would store the same bytes stores
// nothing. An item over the reader's limit is refused before it is copied.
//
// The replays folder holds files and the folders their paths imply: a
// folder exists while a file lies below it, and "/replays" always. The page
// loads its files before the program starts, so reading and listing answer
// at once; a write or removal changes the page's copy at once and is stored
// behind it. When the browser keeps nothing (no IndexedDB, private
// browsing), the folder lasts as long as the tab.
#include <emscripten.h>

#include <algorithm>
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
constexpr std::string_view kReplaysFolder = "/replays";

// How StorageRead answered.
enum StorageAnswer {
  kStorageMissing = 0,    // no such item, or storage unavailable (private browsing)
  kStorageCopied = 1,     // the text is in *bytes
  kStorageUnchanged = 2,  // the text is the one the program last read or stored
  kStorageTooLarge = 3,   // more than maxBytes bytes of UTF-8
  kStorageFailed = 4,     // the program's memory is full
  kReplayIsFolder = 5,    // a folder of the replays folder stands at the path
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

// The replays folder's file at path (page/replays.js): its bytes in a buffer
// from malloc (the caller frees it) in *bytes, its length in *length;
// kStorageMissing when no file is there, kStorageTooLarge over maxBytes,
// kStorageFailed when the program's memory is full. A folder's path
// answers kReplayIsFolder.
EM_JS(int, ReplayFileRead, (const char* path, double maxBytes, char** bytes, int* length), {
  const name = UTF8ToString(path);
  const replays = TavroPage.replays;
  if (replays.isFolder(name)) return 5;
  const data = replays.read(name);
  if (data === null) return 0;
  if (data.length > maxBytes) return 3;
  const buffer = Module._malloc(data.length + 1);
  if (!buffer) return 4;
  HEAPU8.set(data, buffer);
  HEAP32[bytes >> 2] = buffer;
  HEAP32[length >> 2] = data.length;
  return 1;
});

// Writes the bytes as the file at path; createNew refuses a path taken.
// Returns the WriteFailure's number: 0 written, 1 something is there
// (createNew), 2 a folder is there, 3 refused.
EM_JS(int, ReplayFileWrite, (const char* path, const char* bytes, int size, int createNew), {
  return TavroPage.replays.write(UTF8ToString(path), HEAPU8.slice(bytes, bytes + size),
                                 createNew !== 0);
});

EM_JS(int, ReplayFileRemove, (const char* path), {
  return TavroPage.replays.remove(UTF8ToString(path)) ? 1 : 0;
});

// The folder's entries as lines "F name" (a folder) or "R name" (a file), at
// most maxEntries, in a buffer from malloc (the caller frees it); null when
// there is no such folder or memory is full. A name with a line feed, which
// the program never makes, is left out.
EM_JS(char*, ReplayFolderList, (const char* folder, int maxEntries), {
  const entries = TavroPage.replays.list(UTF8ToString(folder), maxEntries);
  if (entries === null) return 0;
  const text = entries.filter((e) => !e.name.includes("\n"))
                      .map((e) => (e.folder ? "F " : "R ") + e.name + "\n").join("");
  return TavroPage.programString(text);
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

// Whether path is the replays folder or a path below it made of plain
// names: no empty name, no "." or "..", no backslash.
bool IsReplaysPath(std::string_view path) {
  if (!StartsWith(path, kReplaysFolder)) return false;
  std::string_view rest = path.substr(kReplaysFolder.size());
  if (rest.empty()) return true;
  while (!rest.empty()) {
    if (rest[0] != '/') return false;
    rest.remove_prefix(1);
    const std::size_t end = std::min(rest.find('/'), rest.size());
    const std::string_view name = rest.substr(0, end);
    if (name.empty() || name == "." || name == ".." || name.find('\\') != std::string_view::npos) {
      return false;
    }
    rest.remove_prefix(end);
  }
  return true;
}

std::FILE* OpenReplayFile(const std::string& path, unsigned long long maxBytes,
                          OpenFailure* failure) {
  char* bytes = nullptr;
  int length = 0;
  switch (ReplayFileRead(path.c_str(), static_cast<double>(maxBytes), &bytes, &length)) {
    case kStorageCopied:
      break;
    case kStorageMissing:
      return Refuse(OpenFailure::Missing, failure);
    case kStorageTooLarge:
      return Refuse(OpenFailure::TooLarge, failure);
    case kReplayIsFolder:
      return Refuse(OpenFailure::NotRegular, failure);
    default:
      return Refuse(OpenFailure::Failed, failure);
  }
  std::FILE* file = StreamOf(bytes, static_cast<std::size_t>(length));
  std::free(bytes);
  if (file == nullptr) return Refuse(OpenFailure::Failed, failure);
  if (failure != nullptr) *failure = OpenFailure::None;
  return file;
}

}  // namespace

std::FILE* PlatformOpenForReading(const char* path, unsigned long long maxBytes,
                                  OpenFailure* failure) {
  const std::string_view name = path;
  if (StartsWith(name, kStorageFolder)) {
    return OpenStorageItem(std::string(name.substr(kStorageFolder.size())), maxBytes, failure);
  }
  if (IsReplaysPath(name)) return OpenReplayFile(std::string(name), maxBytes, failure);
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
  if (size > 0x7fffffff) return WriteFailure::Failed;
  if (IsReplaysPath(name) && name != kReplaysFolder) {
    switch (ReplayFileWrite(path, static_cast<const char*>(data), static_cast<int>(size),
                            mode == WriteMode::CreateNew ? 1 : 0)) {
      case 0:
        return WriteFailure::None;
      case 1:
        return WriteFailure::Exists;
      case 2:
        return WriteFailure::NotRegular;
      default:
        return WriteFailure::Failed;
    }
  }
  if (!StartsWith(name, kStorageFolder)) return WriteFailure::Failed;
  const std::string key(name.substr(kStorageFolder.size()));
  if (key.empty() || key.find('/') != std::string::npos) return WriteFailure::Failed;
  if (mode == WriteMode::CreateNew && StorageHas(key.c_str()) != 0) return WriteFailure::Exists;
  return StoreItem(key, data, size) ? WriteFailure::None : WriteFailure::Failed;
}

std::FILE* PlatformOpenRegularForReading(const char* path, unsigned long long maxBytes,
                                         OpenFailure* failure) {
  return PlatformOpenForReading(path, maxBytes, failure);
}

bool PlatformRemoveRegularFile(const char* path) {
  const std::string_view name = path == nullptr ? "" : path;
  return IsReplaysPath(name) && ReplayFileRemove(path) != 0;
}

bool PlatformListFolder(const char* folder, std::size_t maxEntries,
                        std::vector<FolderEntry>* entries) {
  entries->clear();
  const std::string_view name = folder == nullptr ? "" : folder;
  if (!IsReplaysPath(name)) return false;
  const int most = static_cast<int>(std::min<std::size_t>(maxEntries, 0x7fffffff));
  char* text = ReplayFolderList(folder, most);
  if (text == nullptr) return false;
  std::string_view lines = text;
  while (!lines.empty()) {
    const std::size_t end = std::min(lines.find('\n'), lines.size());
    const std::string_view line = lines.substr(0, end);
    lines.remove_prefix(std::min(end + 1, lines.size()));
    if (line.size() < 3) continue;
    entries->push_back(
        {std::string(line.substr(2)), line[0] == 'F' ? EntryKind::Folder : EntryKind::Regular});
  }
  std::free(text);
  return true;
}

std::string PlatformExecutableFolder() {
  return std::string(kProgramFolder.substr(0, kProgramFolder.size() - 1));
}

std::string DefaultSettingsFilePath() {
  return std::string(kStorageFolder) + "TAVRO.INI";
}

std::string DefaultReplaysFolder() {
  return std::string(kReplaysFolder);
}

const char* PlatformNewFileLineEnd() {
  return "\n";
}
