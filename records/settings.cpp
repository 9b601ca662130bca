#include "records/settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "host/files.h"
#include "records/ini.h"
#include "records/name_width.h"
#include "world/world.h"

const char kEmptyRankingName[] = "[ -- No player -- ]";

namespace {

constexpr char kEnvironmentSection[] = "ENVIRONMENT";
constexpr char kScoreSection[] = "SCORE";

std::string& PathStorage() {
  static std::string path;
  return path;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads the next "%d" conversion from value at *pos: blanks, an optional sign
// and at least one digit. Fails on a number outside the range of int.
bool ScanInt(std::string_view value, std::size_t* pos, int* out) {
  std::size_t i = *pos;
  while (i < value.size() && IsSpace(value[i])) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
    negative = value[i] == '-';
    ++i;
  }
  const std::size_t digitsBegin = i;
  // the magnitude of INT_MIN fits; anything above it is rejected before it can grow
  constexpr unsigned long long kLimit = 2147483648ull;
  unsigned long long magnitude = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + static_cast<unsigned long long>(value[i] - '0');
    if (magnitude > kLimit) return false;
  }
  if (i == digitsBegin) return false;
  if (!negative && magnitude == kLimit) return false;
  *out = negative ? static_cast<int>(0ull - magnitude) : static_cast<int>(magnitude);
  *pos = i;
  return true;
}

// "level score rapid", each a 32-bit number; text after the third is ignored.
bool ParseValuesLine(std::string_view value, RankingEntry* row) {
  std::size_t pos = 0;
  int level = 0;
  int score = 0;
  int rapid = 0;
  if (!ScanInt(value, &pos, &level) || !ScanInt(value, &pos, &score) ||
      !ScanInt(value, &pos, &rapid)) {
    return false;
  }
  row->level = level;
  row->score = score;
  row->rapid = rapid;
  return true;
}

int ReadFlag(std::string_view text, const char* key, int whenMissing) {
  const int value = IniGetInt(text, kEnvironmentSection, key, -1);
  return value == -1 ? whenMissing : value;
}

std::string ValuesKey(int row) {
  return std::to_string(row) + "_Values";
}
std::string NameKey(int row) {
  return std::to_string(row) + "_Name";
}

// Files beyond this are not settings files; reading one could exhaust memory.
constexpr unsigned long long kSettingsFileMaxBytes = 16ull << 20;

const char* WhyNotRead(OpenFailure result) {
  switch (result) {
    case OpenFailure::NotRegular:
      return "it is not a regular file";
    case OpenFailure::TooLarge:
      return "it is larger than 16 MiB";
    default:
      return "it could not be read";
  }
}

// Whether the text holds any ranking row at all, so that a rejected ranking
// lost something worth keeping.
bool HasRankingRows(std::string_view text) {
  for (int n = 1; n <= kRankingRows; ++n) {
    if (!IniGetString(text, kScoreSection, ValuesKey(n), "").empty() ||
        !IniGetString(text, kScoreSection, NameKey(n), "").empty()) {
      return true;
    }
  }
  return false;
}

// Set when LoadSettings rejected the file's ranking: the file is copied
// aside before the next save writes the empty ranking over its rows.
bool backupPending = false;

// Keeps the settings file's text (about to be replaced) as "<file>.bak".
bool KeepBackup(const std::string& path, const std::string& text) {
  const std::string backup = path + ".bak";
  if (!PlatformWriteFileAtomically(backup.c_str(), text.data(), text.size())) {
    std::fprintf(stderr,
                 "TAVRO: the ranking in %s could not be read and no copy could be kept in %s; "
                 "the file is left unchanged\n",
                 path.c_str(), backup.c_str());
    return false;
  }
  std::fprintf(stderr,
               "TAVRO: the ranking in %s could not be read and starts empty; "
               "the file as it was is kept in %s\n",
               path.c_str(), backup.c_str());
  return true;
}

}  // namespace

void SetSettingsFilePath(const std::string& path) {
  PathStorage() = path;
  backupPending = false;
}

const std::string& SettingsFilePath() {
  return PathStorage();
}

void ResetRanking() {
  for (RankingEntry& row : World.ranking) {
    row.score = 0;
    row.level = 0;
    row.rapid = 0;
    std::memset(row.name, 0, sizeof row.name);
    std::memcpy(row.name, kEmptyRankingName, sizeof kEmptyRankingName);
  }
  World.rankJustAchieved = 0;
}

bool LoadSettingsFromText(std::string_view text) {
  RapidFlag = ReadFlag(text, "RapidFlag", 0);
  SoundFlag = ReadFlag(text, "SoundFlag", 1);
  WaitFlag = ReadFlag(text, "WaitFlag", 1);

  // all or nothing: one missing or malformed row empties the whole table
  for (int n = 1; n <= kRankingRows; ++n) {
    RankingEntry& row = World.ranking[n - 1];
    const std::string values = IniGetString(text, kScoreSection, ValuesKey(n), "");
    if (values.empty() || !ParseValuesLine(values, &row)) {
      ResetRanking();
      return false;
    }
    const std::string name = IniGetString(text, kScoreSection, NameKey(n), "");
    if (name.empty() || NameColumns(name) > kNameMaxColumns) {
      ResetRanking();
      return false;
    }
    std::memset(row.name, 0, sizeof row.name);
    std::memcpy(row.name, name.data(), name.size());
  }
  return true;
}

void LoadSettings() {
  std::string text;
  const std::string& path = SettingsFilePath();
  const OpenFailure result = path.empty()
                                 ? OpenFailure::Missing
                                 : ReadWholeFile(path.c_str(), kSettingsFileMaxBytes, &text);
  if (result != OpenFailure::None && result != OpenFailure::Missing) {
    std::fprintf(stderr, "TAVRO: the settings file %s was not read (%s); the defaults apply\n",
                 path.c_str(), WhyNotRead(result));
  }
  backupPending = !LoadSettingsFromText(text) && HasRankingRows(text);
}

std::string SaveSettingsToText(std::string existing) {
  IniSetString(existing, kEnvironmentSection, "RapidFlag", std::to_string(RapidFlag));
  IniSetString(existing, kEnvironmentSection, "SoundFlag", std::to_string(SoundFlag));
  IniSetString(existing, kEnvironmentSection, "WaitFlag", std::to_string(WaitFlag));
  for (int n = 1; n <= kRankingRows; ++n) {
    const RankingEntry& row = World.ranking[n - 1];
    IniSetString(existing, kScoreSection, ValuesKey(n),
                 std::to_string(row.level) + " " + std::to_string(row.score) + " " +
                     std::to_string(row.rapid));
    // the field may lack a terminator if something overwrote it; never read past it
    const void* end = std::memchr(row.name, '\0', sizeof row.name);
    const std::size_t length =
        end == nullptr ? sizeof row.name
                       : static_cast<std::size_t>(static_cast<const char*>(end) - row.name);
    IniSetString(existing, kScoreSection, NameKey(n), std::string_view(row.name, length));
  }
  return existing;
}

bool TrySaveSettings() {
  const std::string& path = SettingsFilePath();
  if (path.empty()) return false;
  std::string text;
  const OpenFailure result = ReadWholeFile(path.c_str(), kSettingsFileMaxBytes, &text);
  // an unreadable file is left alone rather than replaced without its other content
  if (result != OpenFailure::None && result != OpenFailure::Missing) return false;
  if (backupPending && result == OpenFailure::None) {
    if (!KeepBackup(path, text)) return false;
    backupPending = false;
  }
  const std::string saved = SaveSettingsToText(std::move(text));
  return PlatformWriteFileAtomically(path.c_str(), saved.data(), saved.size());
}

void SaveSettings() {
  TrySaveSettings();
}
