// The settings and ranking file: three settings and the top-10 ranking.
#pragma once

#include <string>
#include <string_view>

// The file LoadSettings reads and SaveSettings writes; empty: none.
void SetSettingsFilePath(const std::string& path);
const std::string& SettingsFilePath();
// "$XDG_CONFIG_HOME/tavro/TAVRO.INI", or "~/.config/tavro/TAVRO.INI".
std::string DefaultSettingsFilePath();

// Reads the settings and the ranking from the file; a missing or unreadable
// file gives the defaults and an empty ranking.
void LoadSettings();
// Writes the settings and the whole ranking to the file, keeping its other
// sections and keys. A failure leaves the previous file as it was.
void SaveSettings();
// SaveSettings, telling whether the file was written.
bool TrySaveSettings();

// LoadSettings from the text of a settings file.
void LoadSettingsFromText(std::string_view text);
// The settings file's text after SaveSettings' writes into existing.
std::string SaveSettingsToText(std::string existing);
// All ten rows empty, World.rankJustAchieved 0.
void ResetRanking();

extern const char kEmptyRankingName[];  // "[ -- No player -- ]"
