// The headless host: answers the game's boxes and dialogs from what a script
// or a test has set, and never sleeps.
#pragma once

#include <functional>
#include <string>

// Back to the state of a fresh run: OK answers, no names queued, no close.
void HeadlessResetHost();
// Answer of the next confirmation boxes.
void HeadlessSetConfirmAnswer(bool ok);
// Whether the name-entry dialog can be shown at all (true after a reset).
void HeadlessSetNameDialogAvailable(bool available);
// Text typed into the next name-entry dialog.
void HeadlessQueueName(const std::string& text);
// Runs while each name-entry dialog is open, before it returns (none after
// a reset): what a system may do meanwhile.
void HeadlessWhileNameDialogOpen(std::function<void()> action);

struct HeadlessHostCounters {
  int confirmBoxes;
  int aboutDialogs;
  int nameDialogs;
  int sleeps;
  int postedCloses;
  int notices;
};
const HeadlessHostCounters& HeadlessCounters();

// True once the game asked to quit; the code it gave.
bool HeadlessQuitRequested();
int HeadlessExitCode();
// The last title the session showed ("" after a reset).
const std::string& HeadlessTitle();
// The text of the last notice shown ("" after a reset).
const std::string& HeadlessLastNotice();
// Takes a close request posted by the game (command 40003).
bool HeadlessTakePostedClose();
