// The headless host's network: the runner opens no connection, so a request
// is started only when a test lets it; the test then sees the requests and
// answers them through SessionHttpAnswer.
#pragma once

#include <string>
#include <vector>

#include "host/network.h"

struct HeadlessNetwork {
  bool available = false;                            // requests start (false: none can)
  std::string defaultServer;                         // PlatformDefaultServer's answer
  std::vector<HttpRequest> started;                  // every request started, in order
  std::vector<std::pair<std::string, int>> watched;  // replays opened (path, game)
  int dialogsShown = 0;
  int dialogUpdates = 0;
  std::string status;  // the last online status line
};
HeadlessNetwork& HeadlessNetworkState();
// Back to no network and nothing recorded.
void HeadlessResetNetwork();
