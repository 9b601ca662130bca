#include "records/settings.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "host/files.h"
#include "records/ini.h"
#include "records/name_width.h"
#include "records/ranking.h"
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

using RankingTable = std::array<RankingEntry, kRankingRows>;

RankingEntry EmptyRow() {
  RankingEntry row{};
  std::memcpy(row.name, kEmptyRankingName, sizeof kEmptyRankingName);
  return row;
}

std::string_view NameOf(const RankingEntry& row) {
  return std::string_view(row.name, static_cast<std::size_t>(NameLength(row)));
}

bool SameRow(const RankingEntry& a, const RankingEntry& b) {
  return a.score == b.score && a.level == b.level && a.rapid == b.rapid && NameOf(a) == NameOf(b);
}

// The ten rows of a settings text; false when one is missing or malformed.
bool ReadRanking(std::string_view text, RankingTable* rows) {
  for (int n = 1; n <= kRankingRows; ++n) {
    RankingEntry& row = (*rows)[static_cast<std::size_t>(n - 1)];
    row = RankingEntry{};
    const std::string values = IniGetString(text, kScoreSection, ValuesKey(n), "");
    if (values.empty() || !ParseValuesLine(values, &row)) return false;
    const std::string name = IniGetString(text, kScoreSection, NameKey(n), "");
    if (name.empty() || NameColumns(name) > kNameMaxColumns) return false;
    std::memcpy(row.name, name.data(), name.size());
  }
  return true;
}

RankingTable WorldRanking() {
  RankingTable rows;
  std::copy(std::begin(World.ranking), std::end(World.ranking), rows.begin());
  return rows;
}

std::vector<RankingChange> changes;

void ForgetChanges() {
  changes.clear();
}

// Puts the row into the table by the insertion rule; the last row drops out.
void Enter(RankingTable& table, const RankingEntry& row) {
  const int place = RankingPlaceIn(table.data(), row.score);
  if (place == kRankingRows) return;
  std::copy_backward(table.begin() + place, table.end() - 1, table.end());
  table[static_cast<std::size_t>(place)] = row;
}

// The file's ranking with this copy's changes replayed on it (settings.h).
RankingTable MergedRanking(RankingTable table) {
  const auto alike = [](const RankingEntry& row) {
    return [&row](const RankingEntry& other) { return SameRow(other, row); };
  };
  for (const RankingChange& change : changes) {
    switch (change.kind) {
      case RankingChange::Kind::Entered:
        Enter(table, change.row);
        break;
      case RankingChange::Kind::Named: {
        // the entered row stands below the rows alike that were there before
        const auto found = std::find_if(table.rbegin(), table.rend(), alike(change.row));
        if (found != table.rend()) *found = change.named;
        break;
      }
      case RankingChange::Kind::Cleared: {
        const auto found = std::find_if(table.begin(), table.end(), alike(change.row));
        if (found == table.end()) break;
        std::copy(found + 1, table.end(), found);
        table.back() = EmptyRow();
        break;
      }
    }
  }
  return table;
}

constexpr const char* kFlagKeys[3] = {"RapidFlag", "SoundFlag", "WaitFlag"};
int* const kFlags[3] = {&RapidFlag, &SoundFlag, &WaitFlag};
// What a missing key reads as.
constexpr int kFlagDefaults[3] = {0, 1, 1};

// Writes the flags (null: only those missing, as their defaults) and the
// rows into text.
void WriteSettings(std::string& text, const int* flags, const RankingEntry* rows,
                   std::string_view lineEnd) {
  for (int i = 0; i < 3; ++i) {
    if (flags == nullptr && IniHasKey(text, kEnvironmentSection, kFlagKeys[i])) continue;
    const int value = flags != nullptr ? flags[i] : kFlagDefaults[i];
    IniSetString(text, kEnvironmentSection, kFlagKeys[i], std::to_string(value), lineEnd);
  }
  for (int n = 1; n <= kRankingRows; ++n) {
    const RankingEntry& row = rows[n - 1];
    IniSetString(text, kScoreSection, ValuesKey(n),
                 std::to_string(row.level) + " " + std::to_string(row.score) + " " +
                     std::to_string(row.rapid),
                 lineEnd);
    // the field may lack a terminator if something overwrote it; never read past it
    IniSetString(text, kScoreSection, NameKey(n), NameOf(row), lineEnd);
  }
}

// Keeps the settings file's bytes (about to be replaced) as "<file>.bak".
bool KeepBackup(const std::string& path, const std::string& bytes, const char* why) {
  const std::string backup = path + ".bak";
  if (!PlatformWriteFileAtomically(backup.c_str(), bytes.data(), bytes.size())) {
    std::fprintf(stderr,
                 "TAVRO: %s %s, and no copy could be kept in %s; the file is left unchanged\n",
                 path.c_str(), why, backup.c_str());
    return false;
  }
  std::fprintf(stderr, "TAVRO: %s %s; the file as it was is kept in %s\n", path.c_str(), why,
               backup.c_str());
  return true;
}

// The save: the file read now, the merged ranking, (with flags) the
// settings and (with extra) the keys of another section written into it.
bool Save(const int* flags, const SettingsSection* extra = nullptr) {
  const std::string& path = SettingsFilePath();
  if (path.empty()) return false;
  std::string bytes;
  const OpenFailure result = ReadWholeFile(path.c_str(), kSettingsFileMaxBytes, &bytes);
  // an unreadable file is left alone rather than replaced without its other content
  if (result != OpenFailure::None && result != OpenFailure::Missing) {
    std::fprintf(stderr, "TAVRO: the settings were not saved: %s is left as it is (%s)\n",
                 path.c_str(), WhyNotRead(result));
    return false;
  }
  std::string text = bytes;
  const bool wide = IniUtf16ToUtf8(text);
  RankingTable fileRows;
  const bool readable = result == OpenFailure::None && ReadRanking(text, &fileRows);
  const bool rejected = result == OpenFailure::None && !readable && HasRankingRows(text);
  if (rejected || wide) {
    const char* why = rejected ? "held a ranking that could not be read and is written anew"
                               : "was UTF-16 text and is written anew as UTF-8";
    if (!KeepBackup(path, bytes, why)) return false;
  }
  const RankingTable rows = readable ? MergedRanking(fileRows) : WorldRanking();
  WriteSettings(text, flags, rows.data(), PlatformNewFileLineEnd());
  if (extra != nullptr) {
    for (const auto& [key, value] : extra->keys) {
      IniSetString(text, extra->name, key, value, PlatformNewFileLineEnd());
    }
  }
  if (!PlatformWriteFileAtomically(path.c_str(), text.data(), text.size())) {
    std::fprintf(stderr, "TAVRO: the settings could not be written to %s\n", path.c_str());
    return false;
  }
  ForgetChanges();
  return true;
}

}  // namespace

void SetSettingsFilePath(const std::string& path) {
  PathStorage() = path;
  ForgetChanges();
}

const std::string& SettingsFilePath() {
  return PathStorage();
}

void ResetRanking() {
  for (RankingEntry& row : World.ranking) row = EmptyRow();
  World.rankJustAchieved = 0;
}

std::vector<RankingChange>& UnsavedRankingChanges() {
  return changes;
}

void NoteRankingRowEntered(const RankingEntry& row) {
  changes.push_back({RankingChange::Kind::Entered, row, {}});
}

void NoteRankingRowChanged(const RankingEntry& before, const RankingEntry& after) {
  if (!SameRow(before, after)) changes.push_back({RankingChange::Kind::Named, before, after});
}

void ClearRanking() {
  for (const RankingEntry& shown : World.ranking) {
    changes.push_back({RankingChange::Kind::Cleared, shown, {}});
  }
  ResetRanking();
}

bool LoadSettingsFromText(std::string_view text) {
  ForgetChanges();
  for (int i = 0; i < 3; ++i) {
    const int value = IniGetInt(text, kEnvironmentSection, kFlagKeys[i], -1);
    *kFlags[i] = value == -1 ? kFlagDefaults[i] : value;
  }
  // all or nothing: one missing or malformed row empties the whole table
  RankingTable rows;
  if (!ReadRanking(text, &rows)) {
    ResetRanking();
    return false;
  }
  std::copy(rows.begin(), rows.end(), std::begin(World.ranking));
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
  IniUtf16ToUtf8(text);
  LoadSettingsFromText(text);
}

std::string SaveSettingsToText(std::string existing) {
  const int flags[3] = {RapidFlag, SoundFlag, WaitFlag};
  WriteSettings(existing, flags, World.ranking, "\n");
  return existing;
}

bool TrySaveSettings() {
  const int flags[3] = {RapidFlag, SoundFlag, WaitFlag};
  return Save(flags);
}

bool TrySaveRanking() {
  return Save(nullptr);
}

bool TrySaveSettingsSection(const SettingsSection& section) {
  return Save(nullptr, &section);
}

std::string ReadSettingsFileText() {
  std::string text;
  const std::string& path = SettingsFilePath();
  if (path.empty() ||
      ReadWholeFile(path.c_str(), kSettingsFileMaxBytes, &text) != OpenFailure::None) {
    return std::string();
  }
  IniUtf16ToUtf8(text);
  return text;
}

void SaveSettings() {
  TrySaveSettings();
}
