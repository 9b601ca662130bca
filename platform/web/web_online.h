// What the browser host's loop calls for the shared ranking (network.cpp):
// the answers of finished requests and the ranking dialog's actions, taken
// between two steps, never while the program waits in a box.
#pragma once

// The kinds of the dialog's actions, as page/online.js numbers them.
enum OnlineAction {
  kOnlineActionNone = 0,
  kOnlineActionSettings = 1,  // the check boxes or the server address changed
  kOnlineActionRefresh = 2,
  kOnlineActionWatch = 3,  // a row's game played in a replay
};

// Hands every answer the page holds to SessionHttpAnswer.
void WebTakeHttpAnswers();
// Runs the dialog's oldest action (one a kPageEventOnline).
void WebTakeOnlineAction();
