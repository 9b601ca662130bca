#include "replay/playback.h"

#include <deque>

namespace {

bool active = false;
bool confirmAnswer = false;
bool hasSettings = false;
std::string settingsText;
std::deque<std::string> names;

}  // namespace

void PlaybackBegin() {
  active = true;
  confirmAnswer = false;
  names.clear();
}

void PlaybackEnd() {
  active = false;
  names.clear();
}

bool PlaybackActive() {
  return active;
}

void PlaybackSetSettingsText(const std::string* text) {
  hasSettings = text != nullptr;
  settingsText = hasSettings ? *text : std::string();
}

const std::string* PlaybackSettingsText() {
  return hasSettings ? &settingsText : nullptr;
}

void PlaybackSetConfirmAnswer(bool ok) {
  confirmAnswer = ok;
}

bool PlaybackConfirmAnswer() {
  return confirmAnswer;
}

void PlaybackQueueName(const std::string& text) {
  names.push_back(text);
}

bool PlaybackTakeName(std::string* text) {
  if (names.empty()) return false;
  *text = names.front();
  names.pop_front();
  return true;
}
