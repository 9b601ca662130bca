// The settings and ranking file: three settings and the top-10 ranking.
//
// Several copies of the program may share the file. Each keeps its own
// ranking in World.ranking for the whole session and logs the changes it
// made since its last save: the rows it entered, the names it gave them, the
// rows it cleared. Every save reads the file as it is then and replays the
// log on the file's ranking in order: an entered row goes in by the
// ranking's insertion rule (below every row with as many points or more; the
// last row drops out), a cleared row comes out (one row alike in score,
// level, rapid flag and name; the rows below move up), a name is given to the
// lowest row alike; then the ten rows are written. Alone, a copy's saves thus
// write what World.ranking holds; a row another copy wrote stays unless this
// copy cleared it having shown it. A file without a readable ranking
// (missing, or its rows rejected) takes this copy's ranking as it stands.
// World.ranking is never changed by a save.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "world/world.h"

// The file LoadSettings reads and SaveSettings writes; empty: none.
void SetSettingsFilePath(const std::string& path);
const std::string& SettingsFilePath();

// Reads the settings and the ranking from the file; a missing or unreadable
// file gives the defaults and an empty ranking. Only a regular file of at
// most 16 MiB is read; any other existing file is reported in one line on
// standard error. UTF-16 text with a byte-order mark is read as well. Starts
// with no ranking changes to save.
void LoadSettings();
// Writes the settings and the merged ranking to the file, keeping its other
// sections and keys. A failure leaves the previous file as it was and is said
// in one line on standard error; an existing file that cannot be read is
// never replaced. Before rows the file holds are given up because they were
// rejected, and before UTF-16 text is rewritten as UTF-8, the file as it was
// is kept in "<file>.bak" (said on standard error; no save without that
// copy). A new file's lines end as PlatformNewFileLineEnd says; an existing
// file keeps its line ends.
void SaveSettings();
// SaveSettings, telling whether the file was written.
bool TrySaveSettings();
// Writes the merged ranking alone, as SaveSettings does; the three settings
// stay as the file has them (a file without them gets the values a missing
// key reads as, so that its keys stand in their usual order).
bool TrySaveRanking();

// Keys of a section of the file that the three settings and the ranking do
// not use (another feature's choices), written with the ranking's save.
struct SettingsSection {
  std::string name;
  std::vector<std::pair<std::string, std::string>> keys;
};
bool TrySaveSettingsSection(const SettingsSection& section);
// The settings file's text as it is now (UTF-8), empty when there is none or
// it cannot be read.
std::string ReadSettingsFileText();

// One change this copy made to World.ranking, for the next save's merge.
struct RankingChange {
  enum class Kind { Entered, Named, Cleared } kind;
  RankingEntry row;    // the row entered or cleared; the row before its name
  RankingEntry named;  // Named: the row after
};
// The changes not saved yet, in order (a test may hold several copies' logs
// and put each in place in turn).
std::vector<RankingChange>& UnsavedRankingChanges();
// A row was entered (its default name included).
void NoteRankingRowEntered(const RankingEntry& row);
// A row entered before has become after (its name given).
void NoteRankingRowChanged(const RankingEntry& before, const RankingEntry& after);
// The clear-ranking command: the rows shown are cleared, then ResetRanking.
void ClearRanking();

// LoadSettings from the text of a settings file. False when the ranking was
// rejected and reset.
bool LoadSettingsFromText(std::string_view text);
// The settings file's text after SaveSettings' writes of this copy's own
// settings and World.ranking into existing (no merge).
std::string SaveSettingsToText(std::string existing);
// All ten rows empty, World.rankJustAchieved 0.
void ResetRanking();

extern const char kEmptyRankingName[];  // "[ -- No player -- ]"
