// While a script or a replay drives the program, its boxes and dialogs are
// not shown: their answers come from the script.
#pragma once

#include <string>

void PlaybackBegin();
void PlaybackEnd();
bool PlaybackActive();

// Settings and ranking that start-up loads instead of the settings file's
// (the text of a settings file); null: none.
void PlaybackSetSettingsText(const std::string* text);
const std::string* PlaybackSettingsText();

// Answer of the next confirmation box.
void PlaybackSetConfirmAnswer(bool ok);
bool PlaybackConfirmAnswer();
// Text typed into the next name-entry dialog.
void PlaybackQueueName(const std::string& text);
// Takes the next queued name; false when none was queued (the dialog is
// then taken as not shown).
bool PlaybackTakeName(std::string* text);
