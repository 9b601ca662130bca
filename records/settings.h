// The settings and ranking file: three settings and the top-10 ranking.
#pragma once

#include <string>
#include <string_view>

// The file LoadSettings reads and SaveSettings writes; empty: none.
void SetSettingsFilePath(const std::string& path);
const std::string& SettingsFilePath();

// Reads the settings and the ranking from the file; a missing or unreadable
// file gives the defaults and an empty ranking. Only a regular file of at
// most 16 MiB is read; any other existing file is reported in one line on
// standard error.
void LoadSettings();
// Writes the settings and the whole ranking to the file, keeping its other
// sections and keys. A failure leaves the previous file as it was, and an
// existing file that LoadSettings could not read is never replaced. When the
// loaded file's ranking rows were rejected, the file is first kept as it was
// in "<file>.bak" (said once on standard error; no save without that copy).
void SaveSettings();
// SaveSettings, telling whether the file was written.
bool TrySaveSettings();

// LoadSettings from the text of a settings file. False when the ranking was
// rejected and reset.
bool LoadSettingsFromText(std::string_view text);
// The settings file's text after SaveSettings' writes into existing.
std::string SaveSettingsToText(std::string existing);
// All ten rows empty, World.rankJustAchieved 0.
void ResetRanking();

extern const char kEmptyRankingName[];  // "[ -- No player -- ]"
