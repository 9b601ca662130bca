#include "platform/headless/headless_host.h"

#include <cstring>
#include <deque>
#include <utility>

#include "host/window.h"

namespace {

bool confirmAnswer = true;
std::deque<std::string> typedNames;
HeadlessHostCounters counters;
bool quitRequested = false;
int exitCode = 0;
bool closePosted = false;
bool nameDialogAvailable = true;
std::string title;
std::string lastNotice;
std::function<void()> whileNameDialogOpen;

}  // namespace

void HeadlessResetHost() {
  confirmAnswer = true;
  typedNames.clear();
  counters = {};
  quitRequested = false;
  exitCode = 0;
  closePosted = false;
  nameDialogAvailable = true;
  title.clear();
  lastNotice.clear();
  whileNameDialogOpen = nullptr;
}

void HeadlessSetNameDialogAvailable(bool available) {
  nameDialogAvailable = available;
}

void HeadlessSetConfirmAnswer(bool ok) {
  confirmAnswer = ok;
}

void HeadlessQueueName(const std::string& text) {
  typedNames.push_back(text);
}

void HeadlessWhileNameDialogOpen(std::function<void()> action) {
  whileNameDialogOpen = std::move(action);
}

const HeadlessHostCounters& HeadlessCounters() {
  return counters;
}

bool HeadlessQuitRequested() {
  return quitRequested;
}

int HeadlessExitCode() {
  return exitCode;
}

const std::string& HeadlessTitle() {
  return title;
}

const std::string& HeadlessLastNotice() {
  return lastNotice;
}

bool HeadlessTakePostedClose() {
  const bool posted = closePosted;
  closePosted = false;
  return posted;
}

bool PlatformConfirm(ConfirmBox) {
  counters.confirmBoxes++;
  return confirmAnswer;
}

void PlatformAboutDialog() {
  counters.aboutDialogs++;
}

bool PlatformNameEntry(char* text, std::size_t capacity) {
  if (!nameDialogAvailable) return false;
  counters.nameDialogs++;
  if (whileNameDialogOpen) whileNameDialogOpen();
  std::string typed;
  if (!typedNames.empty()) {
    typed = typedNames.front();
    typedNames.pop_front();
  }
  if (capacity == 0) return true;
  const std::size_t length = typed.size() < capacity - 1 ? typed.size() : capacity - 1;
  std::memcpy(text, typed.data(), length);
  text[length] = '\0';
  return true;
}

void PlatformSleep(int) {
  counters.sleeps++;
}

void PlatformPostClose() {
  counters.postedCloses++;
  closePosted = true;
}

void PlatformQuit(int code) {
  quitRequested = true;
  exitCode = code;
}

void PlatformSetTitle(const char* text) {
  title = text;
}

void PlatformShowNotice(const char* text) {
  counters.notices++;
  lastNotice = text;
}
